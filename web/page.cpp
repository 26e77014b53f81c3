// SPDX-License-Identifier: MIT
// The page's own start and what a person does on it beyond the mouse:
// #steps=N in its address advances the orbit N steps before the first frame,
// standing still, as the snapshot tool's --steps does; a camera stopped puts
// its step in the address; and a picture file chosen or dropped on the page
// replaces its surface's picture, read by the viewer's own reader.
#include "camera.h"
#include "page_core.h"
#include "page_input.h"
#include "scene.h"
#include "scene_pictures.h"
#include "web_layer.h"

#include <GL/gl.h>
#include <GL/glut.h>
#include <emscripten/emscripten.h>

#include <cstdio>
#include <cstring>
#include <string>

// In page_library.js: the address's fragment ("#..."), cut to fit size; the
// fragment set to "#steps=N", or taken off for a negative N; a line of the
// page's list of pictures; the viewer started.
extern "C" int tollmere_location_hash(char* buffer, int size);
extern "C" void tollmere_link_steps(long steps);
extern "C" void tollmere_list_picture(const char* file, const char* surface);
extern "C" void tollmere_started();
extern "C" void tollmere_ended();

namespace {

// The page's state: it starts once, with the page, and is never reset.
struct PageState {
    long stepsFromAddress;
    unsigned idleCalls;
    bool started; // the first frame is on its way
    unsigned picturesHandled;
    bool picturesTaken; // since the textures were last made
};
PageState page;

int maxTextureSize()
{
    GLint size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    return size;
}

unsigned orbitSteps()
{
    return static_cast<unsigned>(page.stepsFromAddress) + page.idleCalls;
}

} // namespace

void pageStart()
{
    page.started = true;
    pageInputStart();
    for (const ScenePicture& picture : scenePictures)
        tollmere_list_picture(picture.file, picture.surface);
    tollmere_started();

    char hash[64] = "";
    tollmere_location_hash(hash, sizeof hash);
    if (hash[0] == '\0' || std::strcmp(hash, "#") == 0)
        return;
    const long steps = parseStepsFragment(hash);
    if (steps < 0) {
        std::fprintf(stderr,
                     "tollmere: the address ends in %s, not #steps=N with N from 0 to %ld: the start view "
                     "is shown\n",
                     hash, pageMaxSteps);
        return;
    }
    for (long i = 0; i < steps; ++i)
        advanceOrbit();
    page.stepsFromAddress = steps;
}

// A circling camera has no view to link to: the address loses its step
// until the camera stands again.
void pageIdleSet(bool set)
{
    if (page.started)
        tollmere_link_steps(set ? -1 : linkSteps(orbitSteps()));
}

void pageIdleCalled()
{
    ++page.idleCalls;
}

void pageEnded()
{
    tollmere_ended();
}

extern "C" {

EMSCRIPTEN_KEEPALIVE unsigned tollmere_orbit_steps()
{
    return orbitSteps();
}

// Asked before a chosen file is read: 0 when its name is refused (the
// reason is on the page).
EMSCRIPTEN_KEEPALIVE int tollmere_may_read_picture(const char* name)
{
    std::string message;
    if (mayReadPicture(name, &message))
        return 1;
    ++page.picturesHandled;
    std::fprintf(stderr, "%s\n", message.c_str());
    return 0;
}

// The picture reader's Worker refused a file: its message.
EMSCRIPTEN_KEEPALIVE void tollmere_refuse_picture(const char* message)
{
    ++page.picturesHandled;
    std::fprintf(stderr, "%s\n", message);
}

// For the picture reader's Worker, which has no GL to ask.
EMSCRIPTEN_KEEPALIVE int tollmere_max_texture_size()
{
    return maxTextureSize();
}

// The picture as the picture reader's Worker read and kept it, at path,
// which goes: makeTexture reads it next, and nothing before.
EMSCRIPTEN_KEEPALIVE void tollmere_take_picture(const char* name, const char* path)
{
    std::string message;
    const int surface = placeKeptPicture(name, path, scenePictureDir, &message);
    ++page.picturesHandled;
    if (surface < 0)
        std::fprintf(stderr, "%s\n", message.c_str());
    else
        page.picturesTaken = true;
}

// Once the files chosen together are read: every surface's texture is made
// again from data/ in the next frame, once for them all, and the old ones
// are deleted.
EMSCRIPTEN_KEEPALIVE void tollmere_pictures_read()
{
    if (!page.picturesTaken)
        return;
    page.picturesTaken = false;
    deleteEveryTexture();
    forgetSurfaceTextures();
    glutPostRedisplay();
}

EMSCRIPTEN_KEEPALIVE unsigned tollmere_pictures_handled()
{
    return page.picturesHandled;
}

EMSCRIPTEN_KEEPALIVE unsigned tollmere_live_textures()
{
    return liveTextureCount();
}

} // extern "C"
