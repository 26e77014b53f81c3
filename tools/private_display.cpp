// SPDX-License-Identifier: MIT
// Starts Xvfb with -displayfd, which writes the display number it chose to a
// pipe once it accepts clients: no guessing of free numbers, no sleeping.
#include "private_display.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
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
#include <vector>

namespace {

pid_t serverPid          = -1; // this process's private server
pid_t serverOwner        = -1; // forked children inherit serverPid but must not end the server
const int startTimeoutMs = 20000;

// In the child: becomes Xvfb, reporting its display number on fd.
[[noreturn]] void execServer(const XvfbOptions& options, int fd)
{
    if (options.detached)
        setsid(); // CTest must not wait for it, nor a signal to the fixture's group reach it
    else
        prctl(PR_SET_PDEATHSIG, SIGTERM); // no stray server if the tool is killed
    const int in  = open("/dev/null", O_RDONLY);
    const int out = options.logFile ? open(options.logFile, O_WRONLY | O_CREAT | O_TRUNC, 0644)
                                    : open("/dev/null", O_WRONLY);
    if (in >= 0 && out >= 0) {
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO); // Xvfb's start-up warnings are noise here
    }
    const std::string fdText      = std::to_string(fd);
    std::vector<const char*> args = { "Xvfb", "-displayfd", fdText.c_str(), "-screen", "0", options.screen,
                                      "-nolisten", "tcp",
                                      // Else the server resets whenever its last client leaves, and
                                      // one opening its window at that moment is refused.
                                      "-noreset" };
    if (!options.glx) {
        args.push_back("-extension");
        args.push_back("GLX");
    }
    args.push_back(nullptr);
    execvp("Xvfb", const_cast<char* const*>(args.data()));
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

// Whether the process has ended: reaped here if it is our child, otherwise
// gone or a zombie its new parent has yet to reap.
bool ended(pid_t pid)
{
    const pid_t waited = waitpid(pid, nullptr, WNOHANG);
    if (waited != -1)
        return waited == pid; // our child: reaped now, or still running
    if (kill(pid, 0) != 0)
        return true;
    char state = 0;
    if (std::FILE* stat = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r")) {
        if (std::fscanf(stat, "%*d (%*[^)]) %c", &state) != 1)
            state = 0;
        std::fclose(stat);
    }
    return state == 'Z';
}

} // namespace

bool startXvfb(const XvfbOptions& options, Xvfb* server, std::string* error)
{
    int fds[2];
    if (pipe(fds) != 0) {
        *error = std::string("cannot make a pipe for Xvfb: ") + std::strerror(errno);
        return false;
    }
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    const pid_t pid = fork();
    if (pid < 0) {
        *error = std::string("cannot start Xvfb: ") + std::strerror(errno);
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        close(fds[0]);
        execServer(options, fds[1]);
    }
    close(fds[1]);
    std::string number;
    const bool started = readDisplayNumber(fds[0], &number);
    close(fds[0]);
    if (!started) {
        endXvfb(pid);
        *error = "a private Xvfb did not start (is the xvfb package installed?)";
        return false;
    }
    server->pid     = pid;
    server->display = ":" + number;
    return true;
}

void endXvfb(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) { // up to 2 s, then no more asking
        if (ended(pid))
            return;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

bool startPrivateDisplay(std::string* error)
{
    static const bool endsAtExit = std::atexit(endPrivateDisplay) == 0;
    if (!endsAtExit) {
        *error = "a private Xvfb did not start (is the xvfb package installed?)";
        return false;
    }
    Xvfb server;
    if (!startXvfb(XvfbOptions(), &server, error))
        return false;
    serverPid   = server.pid;
    serverOwner = getpid();
    setenv("DISPLAY", server.display.c_str(), 1);
    return true;
}

void endPrivateDisplay()
{
    if (serverPid <= 0 || getpid() != serverOwner)
        return;
    endXvfb(serverPid);
    serverPid = -1;
}

void useSoftwareRenderer()
{
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    setenv("GALLIUM_DRIVER", "llvmpipe", 1);
}
