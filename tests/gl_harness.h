// A real GLUT window for tests that draw, and helpers to read back what a
// person would see in it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Rgb {
    int r, g, b;
};

// The viewer's own start-up, without the event loop, and the first reshape.
// Call once per process, from main.
void openViewerWindow(int* argc, char** argv);

// Draw one frame into the back buffer and wait for it to finish.
void renderFrame();

// Pixel at window coordinates, with (0, 0) the top-left corner as in a screenshot.
Rgb pixelAt(int x, int y);

// The whole back buffer, RGB rows bottom first.
std::vector<unsigned char> readWindow();

// Width and height of the GL viewport in pixels.
int viewportWidth();
int viewportHeight();

// Lets pending window-system events (resizes, idle calls) run.
void pumpEvents(int times = 1);

// Resizes the window and waits until the reshape has run.
void resizeWindow(int width, int height);

std::string describe(const Rgb& c);
