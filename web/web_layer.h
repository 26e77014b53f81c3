// SPDX-License-Identifier: MIT
// What the parts of the page's platform layer say to one another.
#pragma once

#include <vector>

// Clears and draws what the frame has gathered so far, in order.
void flushFrame();

// The GL state the page starts with, once the WebGL context exists.
void resetGlState();

// The names of the textures made and not deleted.
std::vector<unsigned> liveTextures();

// Called by glutMainLoop once the viewer's start-up is done, before the
// first frame: the page's own start (its address is read here).
void pageBeforeFirstFrame();

// Called when the viewer sets its idle callback: the camera circles when
// there is one, and stands when there is none.
void pageCameraCircles(bool circles);

// Idle callbacks run since the page opened.
unsigned glutIdleCalls();
