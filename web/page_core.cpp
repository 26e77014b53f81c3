// SPDX-License-Identifier: MIT
// The page's link to a view and its chosen pictures: see page_core.h.
#include "page_core.h"

#include "glu_core.h"
#include "scene_pictures.h"
#include "tga_writer.h"

#include <GL/glu.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

// The orbit comes round to the same view every 180 steps (each is 2 degrees
// of its own pi); the first few steps only bring the start angle within a turn.
const std::uint64_t orbitTurnSteps = 180;

std::string refusal(const std::string& name, const std::string& reason)
{
    return "tollmere: " + name + ": " + reason;
}

int pictureIndex(const std::string& name)
{
    for (int i = 0; i < scenePictureCount; ++i)
        if (name == scenePictures[i].file)
            return i;
    return -1;
}

// "Rear.tga (rear wall), Left.tga (left wall), ...": the seven names.
std::string pictureNamesText()
{
    std::string text;
    for (const ScenePicture& picture : scenePictures)
        text += std::string(text.empty() ? "" : ", ") + picture.file + " (" + picture.surface + ")";
    return text;
}

} // namespace

long parseStepsFragment(const char* hash)
{
    const char* prefix = "#steps=";
    if (std::strncmp(hash, prefix, std::strlen(prefix)) != 0)
        return -1;
    const char* digits = hash + std::strlen(prefix);
    if (*digits == '\0' || std::strlen(digits) > 6)
        return -1;
    long n = 0;
    for (const char* d = digits; *d; ++d) {
        if (*d < '0' || *d > '9')
            return -1;
        n = n * 10 + (*d - '0');
    }
    return n <= pageMaxSteps ? n : -1;
}

long linkSteps(std::uint64_t steps)
{
    const std::uint64_t most = pageMaxSteps;
    if (steps <= most)
        return static_cast<long>(steps);
    const std::uint64_t turns = (steps - most + orbitTurnSteps - 1) / orbitTurnSteps;
    return static_cast<long>(steps - turns * orbitTurnSteps);
}

bool mayReadPicture(const std::string& name, std::string* message)
{
    if (pictureIndex(name) >= 0)
        return true;
    *message = refusal(name, "not the name of a picture the page shows; name it as the one it replaces: "
                                 + pictureNamesText());
    return false;
}

int takeChosenPicture(const std::string& name, const char* path, const TgaLimits& limits,
                      const std::string& pictureDir, std::string* message)
{
    if (!mayReadPicture(name, message))
        return -1;
    TgaFailure failure;
    const std::optional<TgaImage> image = loadTgaImage(path, &failure, limits);
    if (!image) {
        *message = refusal(name, describeTgaFailure(failure));
        return -1;
    }
    // What makeTexture would end the viewer for, refused here instead.
    if (image->sizeX < 1 || image->sizeY < 1) {
        *message = refusal(name, textureRefusal(image->sizeX, image->sizeY,
                                                errorStringText(GLU_INVALID_VALUE), GLU_INVALID_VALUE));
        return -1;
    }
    // Written beside the picture it replaces, then put in its place: a write
    // that fails leaves the picture there was. The old one is removed first:
    // emscripten's file system keeps a file renamed over in its table of
    // names, and with it the picture's bytes, for as long as the page runs.
    TgaWriteOptions plain;
    plain.bits              = image->channels * 8;
    const std::string saved = pictureDir + "/" + name, written = saved + ".new";
    if (!writeFile(written, encodeTga(image->sizeX, image->sizeY, image->channels, image->imageData, plain))
        || (std::remove(saved.c_str()) != 0 && errno != ENOENT)
        || std::rename(written.c_str(), saved.c_str()) != 0) {
        *message = refusal(name, std::string("cannot be kept (") + std::strerror(errno) + ")");
        std::remove(written.c_str());
        return -1;
    }
    return pictureIndex(name);
}

int placeKeptPicture(const std::string& name, const char* path, const std::string& pictureDir,
                     std::string* message)
{
    const std::string saved = pictureDir + "/" + name;
    // The old one removed first: emscripten keeps a file renamed over, and its bytes.
    if (!mayReadPicture(name, message) || (std::remove(saved.c_str()) != 0 && errno != ENOENT)
        || std::rename(path, saved.c_str()) != 0) {
        if (message->empty())
            *message = refusal(name, std::string("cannot be kept (") + std::strerror(errno) + ")");
        std::remove(path);
        return -1;
    }
    return pictureIndex(name);
}
