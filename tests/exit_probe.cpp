// SPDX-License-Identifier: MIT
// Starts the viewer as it really starts and lets GLUT draw the first frame.
// It counts the buffer swaps and keeps the back buffer as back.png in the
// working directory: as it stood at the first swap, or, when the viewer ends
// the process before any swap (even from inside a frame), as it stood then.
// The count goes to swaps.txt when the process ends.
#include "app.h"
#include "gl_harness.h"

#include <GL/freeglut.h>

#include <cstdio>

namespace {

int swaps = 0;

void saveBackBuffer()
{
    writePng("back.png", readFrame());
}

void saveSwaps()
{
    if (std::FILE* file = std::fopen("swaps.txt", "w")) {
        std::fprintf(file, "%d\n", swaps);
        std::fclose(file);
    }
}

} // namespace

// Linked with --wrap=exit: the viewer's own exit comes here first, while the
// GL context and everything behind it still stand (exit handlers of the
// driver's libraries would run before any handler registered here).
extern "C" [[noreturn]] void __real_exit(int status);
extern "C" [[noreturn]] void __wrap_exit(int status)
{
    if (swaps == 0)
        saveBackBuffer();
    saveSwaps();
    __real_exit(status);
}

// Linked with --wrap=glutSwapBuffers: the display pass's swap comes here.
extern "C" void __real_glutSwapBuffers();
extern "C" void __wrap_glutSwapBuffers()
{
    if (swaps++ == 0)
        saveBackBuffer();
    __real_glutSwapBuffers();
}

int main(int argc, char** argv)
{
    openViewer(&argc, argv);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    pumpEvents(50); // maps the window; GLUT's first display runs in here
    saveSwaps();
    return 0;
}
