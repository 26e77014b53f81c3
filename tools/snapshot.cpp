// SPDX-License-Identifier: MIT
// tollmere-snapshot: writes what the viewer shows after a number of orbit
// steps to a PNG, 500 x 500 unless the window is given another size. Always draws on a private 24-bit Xvfb of
// its own, whatever desktop is open, and through Mesa's software renderer, so the same inputs give the same
// bytes.
#include "frame_capture.h"
#include "private_display.h"
#include "rgb_image.h"

#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/X.h>
#include <X11/Xlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char usage[] =
    "usage: tollmere-snapshot [--steps N] [--size N] [--out FILE.png]\n"
    "  --steps N   orbit steps after the start view, 0 to 100000 (default 0: the start view)\n"
    "  --size N    the window's side in pixels, 1 to 2048 (default 500), as if resized to it\n"
    "  --out FILE  the PNG to write: a name ending in .png, or a device already there\n"
    "              (default tollmere.png)\n"
    "Reads its pictures from data/ under the working directory, like the viewer.\n";

const long maxSteps = 100000; // a frame is drawn for every step, as in the viewer
const long maxSize  = 2048;   // as the page's canvas at most

struct Options {
    int steps       = 0;
    int size        = viewSize;
    std::string out = "tollmere.png";
    bool help       = false;
};

// A whole number from least to most, digits only.
bool parseWhole(const char* text, long least, long most, int* number)
{
    long value = 0;
    if (!*text)
        return false;
    for (const char* c = text; *c; ++c) {
        if (*c < '0' || *c > '9')
            return false;
        value = value * 10 + (*c - '0');
        if (value > most)
            return false;
    }
    if (value < least)
        return false;
    *number = static_cast<int>(value);
    return true;
}

// A file name ending in .png, or a device or pipe that is there already
// (/dev/full, a pipe): nothing else could be mistaken for a picture.
bool isPngTarget(const std::string& name)
{
    struct stat info = {};
    if (stat(name.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))
        return true;
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0;
}

bool parseArguments(int argc, char** argv, Options* options, std::string* error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            options->help = true;
        } else if (arg == "--steps" || arg == "--size" || arg == "--out") {
            if (i + 1 >= argc) {
                *error = arg + " needs a value";
                return false;
            }
            const char* value = argv[++i];
            if (arg == "--steps" && !parseWhole(value, 0, maxSteps, &options->steps)) {
                *error = "--steps takes a whole number from 0 to 100000, not '" + std::string(value) + "'";
                return false;
            }
            if (arg == "--size" && !parseWhole(value, 1, maxSize, &options->size)) {
                *error = "--size takes a whole number from 1 to 2048, not '" + std::string(value) + "'";
                return false;
            }
            if (arg == "--out") {
                options->out = value;
                if (!isPngTarget(options->out)) {
                    *error = "--out takes a file name ending in .png, not '" + options->out + "'";
                    return false;
                }
            }
        } else {
            *error = "unknown argument '" + arg + "'";
            return false;
        }
    }
    return true;
}

// A line on a terminal, rewritten every hundred frames, so a long run is
// seen to be working; cleared when the last frame is drawn.
const int progressEvery     = 100;
const int progressFromSteps = 1000;

void showProgress(int done, int total)
{
    if (done == total)
        (void)std::fprintf(stderr, "\r%60s\r", "");
    else if (done % progressEvery == 0)
        (void)std::fprintf(stderr, "\rtollmere-snapshot: frame %d of %d", done, total);
}

// The picture is read from the window's first size x size pixels: they must
// be the whole window and the whole viewport.
bool windowIsSize(int size, std::string* error)
{
    Window root = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    Display* display = glXGetCurrentDisplay();
    const bool known =
        display
        && XGetGeometry(display, glXGetCurrentDrawable(), &root, &x, &y, &width, &height, &border, &depth);
    GLint viewport[4] = { 0, 0, 0, 0 };
    glGetIntegerv(GL_VIEWPORT, viewport);
    const auto side = static_cast<unsigned>(size);
    if (known && width == side && height == side && viewport[2] == size && viewport[3] == size)
        return true;
    *error = "the window is " + std::to_string(width) + " x " + std::to_string(height) + " with a "
             + std::to_string(viewport[2]) + " x " + std::to_string(viewport[3]) + " viewport, not "
             + std::to_string(size) + " x " + std::to_string(size) + ": no picture written";
    return false;
}

// The window resized as a person would, and GLUT's reshape run for it; up
// to about 4 s for the server to take the new size.
void resizeWindow(int size)
{
    glutReshapeWindow(size, size);
    GLint viewport[4] = { 0, 0, 0, 0 };
    for (int i = 0; i < 2000 && (viewport[2] != size || viewport[3] != size); ++i) {
        glutMainLoopEvent();
        usleep(2000);
        glGetIntegerv(GL_VIEWPORT, viewport);
    }
}

// The viewer's frame after `steps` orbit steps, drawn on a private X server.
bool takePicture(char* program, const Options& options, RgbImage* picture, std::string* error)
{
    useSoftwareRenderer();
    if (!startPrivateDisplay(error))
        return false;
    int glutArgc     = 1; // the tool's own options are not GLUT's
    char* glutArgv[] = { program, nullptr };
    if (!openViewerForCapture(&glutArgc, glutArgv, error))
        return false;
    if (options.size != viewSize)
        resizeWindow(options.size);
    const bool onTerminal = options.steps >= progressFromSteps && isatty(STDERR_FILENO);
    *picture              = captureViews({ options.steps }, onTerminal ? showProgress : nullptr).front();
    const bool whole      = windowIsSize(options.size, error);
    glutExit(); // closes the window while its X server is still there
    endPrivateDisplay();
    return whole;
}

int fail(const std::string& message)
{
    (void)std::fprintf(stderr, "tollmere-snapshot: %s\n", message.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string error;
    if (!parseArguments(argc, argv, &options, &error)) {
        (void)std::fprintf(stderr, "tollmere-snapshot: %s\n%s", error.c_str(), usage);
        return 2;
    }
    if (options.help) {
        (void)std::fputs(usage, stdout);
        return 0;
    }

    RgbImage picture;
    if (!takePicture(argv[0], options, &picture, &error))
        return fail(error);
    if (!writePng(options.out, picture))
        return fail("cannot write " + options.out + ": " + std::strerror(errno));
    std::printf("tollmere-snapshot: wrote %s (%d x %d, %d orbit step%s after the start view)\n",
                options.out.c_str(), options.size, options.size, options.steps,
                options.steps == 1 ? "" : "s");
    return 0;
}
