// SPDX-License-Identifier: MIT
#include "glut_loop.h"

#include "ff_pipeline.h"

namespace {

GlutLoop loop;

} // namespace

GlutLoop& loopState()
{
    return loop;
}

void resetLoop()
{
    loop        = {};
    loop.width  = 300;
    loop.height = 300;
}

void startLoop()
{
    if (loop.reshape)
        loop.reshape(loop.width, loop.height);
    else
        ffViewport(0, 0, loop.width, loop.height);
    loop.redisplayPosted = true;
}

bool runLoopFrame()
{
    if (loop.insideFrame)
        loop.ended = true;
    if (loop.ended)
        return false;
    loop.insideFrame = true;
    if (loop.idle) {
        if (loop.beforeIdle)
            loop.beforeIdle();
        loop.idle();
    }
    if (loop.redisplayPosted && loop.display) {
        loop.redisplayPosted = false;
        loop.display();
    }
    loop.insideFrame = false;
    return true;
}
