// SPDX-License-Identifier: MIT
// Private Xvfb servers, the one way Tollmere starts an X server: for the
// programs whose pictures and figures must not depend on the desktop (the
// snapshot tool, the benchmark), which draw on one that lives as long as they
// do, and for the tests (their CTest fixture, tests/x_display.cpp, and a
// desktop without GLX in the snapshot tool's tests).
#pragma once

#include <string>
#include <sys/types.h>

struct XvfbOptions {
    const char* screen  = "1024x768x24"; // screen 0, WIDTHxHEIGHTxDEPTH
    bool glx            = true;          // false: a desktop no GL program can draw on, as over ssh -X
    bool detached       = false;         // outlives this process, in a session of its own
    const char* logFile = nullptr;       // the server's own output; thrown away when not named
};

struct Xvfb {
    pid_t pid = -1;
    std::string display; // ":N", for DISPLAY
};

// Starts Xvfb, which picks a free display itself. Unless detached, the kernel
// ends the server if this process dies first. On failure returns false with
// the reason in *error.
bool startXvfb(const XvfbOptions& options, Xvfb* server, std::string* error);

// Ends a server started by startXvfb, here or by another process: SIGTERM,
// then SIGKILL if it is still there after 2 s.
void endXvfb(pid_t pid);

// Starts a private server for this process and makes DISPLAY name it,
// whatever DISPLAY named before. Call before glutInit and before any thread
// is started. On failure returns false with the reason in *error. The server
// is ended at exit, and by the kernel if this process dies first.
bool startPrivateDisplay(std::string* error);

// Ends the private server, if this process started one; safe to call more
// than once, and does nothing in a forked child.
// Close the GL window (glutExit) first: nothing may talk to the server after.
void endPrivateDisplay();

// Mesa's software renderer (llvmpipe), so pictures are the same on every
// machine whatever its graphics card. Call before glutInit.
void useSoftwareRenderer();
