// SPDX-License-Identifier: MIT
// Starts the viewer as it really starts and lets GLUT draw the first frame.
// It counts the buffer swaps and keeps the back buffer as back.png in the
// working directory: as it stood at the first swap, or, when the viewer ends
// the process before any swap (even from inside a frame), as it stood then.
// The count goes to swaps.txt when the process ends. With PROBE_FAIL_NEW_FROM
// set to a number of bytes, the program's own allocations of that many or
// more fail, as they would in a machine out of memory.
#include "app.h"
#include "gl_harness.h"

#include <GL/freeglut.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>

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

// Linked with --wrap=_Znwm: operator new called from the program's own code
// (the reader's among it) comes here; the libraries' own calls do not.
extern "C" void* __real__Znwm(std::size_t size);
extern "C" void* __wrap__Znwm(std::size_t size)
{
    static const char* const failFrom = std::getenv("PROBE_FAIL_NEW_FROM");
    if (failFrom && size >= std::strtoull(failFrom, nullptr, 10))
        throw std::bad_alloc();
    return __real__Znwm(size);
}

int main(int argc, char** argv)
{
    openViewer(&argc, argv);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    pumpEvents(50); // maps the window; GLUT's first display runs in here
    saveSwaps();
    return 0;
}
