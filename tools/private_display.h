// SPDX-License-Identifier: MIT
// A private 24-bit Xvfb for the programs whose pictures and figures must not
// depend on the desktop (the snapshot tool, the benchmark): it lives as long
// as this process.
#pragma once

#include <string>

// Starts the server and makes DISPLAY name it, whatever DISPLAY named before.
// Call before glutInit and before any thread is started. On failure returns
// false with the reason in *error. The server is ended at exit, and by the
// kernel if this process dies first.
bool startPrivateDisplay(std::string* error);

// Ends the private server, if this process started one; safe to call more
// than once, and does nothing in a forked child.
// Close the GL window (glutExit) first: nothing may talk to the server after.
void endPrivateDisplay();

// Mesa's software renderer (llvmpipe), so pictures are the same on every
// machine whatever its graphics card. Call before glutInit.
void useSoftwareRenderer();
