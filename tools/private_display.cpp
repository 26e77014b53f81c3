// SPDX-License-Identifier: MIT
// Starts Xvfb with -displayfd, which writes the display number it chose to a
// pipe once it accepts clients: no guessing of free numbers, no sleeping.
#include "private_display.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/prctl.h> // PR_SET_PDEATHSIG
#include <signal.h>      // kill, which <csignal> need not declare
#include <stdlib.h>      // setenv, likewise
#include <string>
#include <sys/poll.h> // what glibc's <poll.h> includes, named where poll is declared
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

pid_t serverPid          = -1;
pid_t serverOwner        = -1; // forked children inherit serverPid but must not end the server
const int startTimeoutMs = 20000;

// In the child: becomes Xvfb, reporting its display number on fd.
[[noreturn]] void execServer(int fd)
{
    prctl(PR_SET_PDEATHSIG, SIGTERM); // no stray server if the tool is killed
    const int devNull = open("/dev/null", O_RDWR);
    if (devNull >= 0) {
        dup2(devNull, STDIN_FILENO);
        dup2(devNull, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO); // Xvfb's start-up warnings are noise here
    }
    const std::string fdText = std::to_string(fd);
    execlp("Xvfb", "Xvfb", "-displayfd", fdText.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
           static_cast<char*>(nullptr));
    _exit(127);
}

// Reads the display number line from fd, waiting at most startTimeoutMs.
bool readDisplayNumber(int fd, std::string* number)
{
    char c;
    for (;;) {
        pollfd p        = { fd, POLLIN, 0 };
        const int ready = poll(&p, 1, startTimeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || read(fd, &c, 1) != 1)
            return false;
        if (c == '\n')
            return !number->empty();
        if (c < '0' || c > '9' || number->size() > 8)
            return false;
        number->push_back(c);
    }
}

} // namespace

bool startPrivateDisplay(std::string* error)
{
    int fds[2];
    if (pipe(fds) != 0) {
        *error = std::string("cannot make a pipe for Xvfb: ") + std::strerror(errno);
        return false;
    }
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    serverPid = fork();
    if (serverPid < 0) {
        *error = std::string("cannot start Xvfb: ") + std::strerror(errno);
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (serverPid == 0) {
        close(fds[0]);
        execServer(fds[1]);
    }
    close(fds[1]);
    serverOwner           = getpid();
    const bool endsAtExit = std::atexit(endPrivateDisplay) == 0;

    std::string number;
    const bool started = readDisplayNumber(fds[0], &number);
    close(fds[0]);
    if (!started || !endsAtExit) {
        endPrivateDisplay();
        *error = "a private Xvfb did not start (is the xvfb package installed?)";
        return false;
    }
    setenv("DISPLAY", (":" + number).c_str(), 1);
    return true;
}

void endPrivateDisplay()
{
    if (serverPid <= 0 || getpid() != serverOwner)
        return;
    kill(serverPid, SIGTERM);
    for (int i = 0; i < 200; ++i) { // up to 2 s, then no more asking
        if (waitpid(serverPid, nullptr, WNOHANG) != 0) {
            serverPid = -1;
            return;
        }
        usleep(10000);
    }
    kill(serverPid, SIGKILL);
    waitpid(serverPid, nullptr, 0);
    serverPid = -1;
}

void useSoftwareRenderer()
{
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    setenv("GALLIUM_DRIVER", "llvmpipe", 1);
}
