// SPDX-License-Identifier: MIT
// Replays the viewer frame by frame, so GL state that carries over from one
// frame to the next (current material, normal, line width) is what it would
// be in the viewer.
#include "frame_capture.h"

#include "app.h"
#include "camera.h"
#include "rgb_image.h"
#include "scene.h"

#include <GL/freeglut.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

namespace {

bool viewportIs(int width, int height)
{
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    return vp[2] == width && vp[3] == height;
}

} // namespace

RgbImage readFrame()
{
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    RgbImage picture;
    picture.width  = vp[2];
    picture.height = vp[3];
    picture.rgb.resize(static_cast<size_t>(picture.width) * picture.height * 3);
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, picture.width, picture.height, GL_RGB, GL_UNSIGNED_BYTE, picture.rgb.data());

    // GL hands the bottom row first; pictures keep the top row first.
    const std::ptrdiff_t row = std::ptrdiff_t{ picture.width } * 3;
    for (std::ptrdiff_t y = 0; y < picture.height / 2; ++y)
        std::swap_ranges(picture.rgb.begin() + y * row, picture.rgb.begin() + (y + 1) * row,
                         picture.rgb.begin() + (picture.height - 1 - y) * row);
    return picture;
}

std::vector<GLuint> liveTextureNames(GLuint highestName)
{
    std::vector<GLuint> names;
    for (GLuint name = 1; name <= highestName; ++name)
        if (glIsTexture(name) == GL_TRUE)
            names.push_back(name);
    return names;
}

int liveTextureCount(GLuint highestName)
{
    return static_cast<int>(liveTextureNames(highestName).size());
}

bool openViewerForCapture(int* argc, char** argv, std::string* error)
{
    openViewer(argc, argv);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    // GLUT runs the first reshape once the window is mapped; wait up to about 4 s.
    for (int i = 0; i < 2000 && !viewportIs(viewSize, viewSize); ++i) {
        glutMainLoopEvent();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (viewportIs(viewSize, viewSize))
        return true;
    *error = "the viewer's window did not come out at 500 x 500";
    return false;
}

std::vector<RgbImage> captureViews(const std::vector<int>& steps, void (*progress)(int done, int total))
{
    std::vector<RgbImage> pictures;
    initCamera();
    int step        = 0;
    const int total = steps.empty() ? 0 : steps.back() + 1;
    for (int wanted : steps) {
        for (;;) {
            drawFrame();
            if (progress)
                progress(step + 1, total);
            if (step >= wanted)
                break;
            glutSwapBuffers();
            advanceOrbit();
            ++step;
        }
        pictures.push_back(readFrame());
        glutSwapBuffers();
        advanceOrbit();
        ++step;
    }
    return pictures;
}
