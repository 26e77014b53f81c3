// SPDX-License-Identifier: MIT
// The private X server of the tests that draw, as a CTest fixture:
//   x_display start DIR       starts Xvfb and writes its display number to DIR/display
//   x_display stop DIR        ends it
//   x_display run DIR CMD...  runs CMD on that display with Mesa's software renderer
// Tests that draw run through "run" and require the fixture whose setup is "start".
#include "private_display.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdlib.h> // setenv, which <cstdlib> need not declare
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string firstLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The server a start left running, if it is still an Xvfb (its number may
// have gone to another process since).
void stop(const fs::path& dir)
{
    const std::string pid = firstLine(dir / "pid");
    fs::remove(dir / "pid");
    fs::remove(dir / "display");
    if (pid.empty() || firstLine("/proc/" + pid + "/comm") != "Xvfb")
        return;
    endXvfb(static_cast<pid_t>(std::atol(pid.c_str())));
}

int start(const fs::path& dir)
{
    fs::create_directories(dir);
    stop(dir); // one left by a run that was cut short
    const std::string log = (dir / "xvfb.log").string();
    XvfbOptions options;
    options.screen   = "1280x1024x24";
    options.detached = true;
    options.logFile  = log.c_str();
    Xvfb server;
    std::string error;
    if (!startXvfb(options, &server, &error)) {
        std::ifstream in(log);
        std::cerr << in.rdbuf() << "x_display: Xvfb did not start: " << error << '\n';
        return 1;
    }
    std::ofstream(dir / "pid") << server.pid << '\n';
    std::ofstream(dir / "display.new") << server.display.substr(1) << '\n';
    fs::rename(dir / "display.new", dir / "display"); // whole, for the tests that read it
    std::cout << "x_display: Xvfb on " << server.display << '\n';
    return 0;
}

int run(const fs::path& dir, char** command)
{
    // Without the file (listing a program's tests while building) no display is needed.
    const std::string number = firstLine(dir / "display");
    if (!number.empty())
        setenv("DISPLAY", (":" + number).c_str(), 1);
    useSoftwareRenderer();
    execvp(command[0], command);
    std::perror(command[0]);
    return 127;
}

} // namespace

int main(int argc, char** argv)
{
    const char* action = argc >= 3 ? argv[1] : "";
    if (std::strcmp(action, "start") == 0 && argc == 3)
        return start(argv[2]);
    if (std::strcmp(action, "stop") == 0 && argc == 3) {
        stop(argv[2]);
        return 0;
    }
    if (std::strcmp(action, "run") == 0 && argc >= 4)
        return run(argv[2], argv + 3);
    std::cerr << "usage: x_display start|stop DIR, or x_display run DIR COMMAND...\n";
    return 2;
}
