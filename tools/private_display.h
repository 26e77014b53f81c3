// An X display for the programs that draw without a desktop (the snapshot
// tool, the benchmark): the one DISPLAY names if it opens, otherwise a
// private Xvfb that lives as long as this process.
#pragma once

#include <string>

// Makes DISPLAY name a display that opens. With privateOnly a private server
// is started even when a desktop is there, so figures do not depend on it.
// Call before glutInit and before any thread is started. On failure returns
// false with the reason in *error. A private server is ended at exit, and by
// the kernel if this process dies first.
bool ensureDisplay(bool privateOnly, std::string* error);

// Ends the private server, if this process started one; safe to call more
// than once, and does nothing in a forked child.
// Close the GL window (glutExit) first: nothing may talk to the server after.
void endPrivateDisplay();

// Mesa's software renderer (llvmpipe), so pictures are the same on every
// machine whatever its graphics card. Call before glutInit.
void useSoftwareRenderer();
