// SPDX-License-Identifier: MIT
// The page's picture reader, in a Worker of its own: the viewer's TGA reader
// reads a chosen file through the browser's synchronous file reads, only the
// bytes it asks for when it asks, so that a large file never stands in memory
// whole; what it keeps of the picture (at most 1024 on a side) goes back to
// the page, which takes it as a chosen file.
#include "page_core.h"

#include <emscripten/emscripten.h>
#include <sys/stat.h>

#include <string>

namespace {

const char* const keptDir = "/kept";

std::string message;

} // namespace

// The file at path, chosen as name, read for a GL whose textures have at
// most maxTextureSize on a side: kept in /kept/name and "" returned, or
// refused and the message returned.
extern "C" EMSCRIPTEN_KEEPALIVE const char* tollmere_read_chosen(const char* name, const char* path,
                                                                 int maxTextureSize)
{
    mkdir(keptDir, 0755);
    message.clear();
    if (takeChosenPicture(name, path, textureReadLimits(maxTextureSize), keptDir, &message) >= 0)
        message.clear();
    return message.c_str();
}
