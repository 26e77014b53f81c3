// SPDX-License-Identifier: MIT
// The page's own start: #steps=N in its address advances the orbit N steps
// before the first frame, standing still, as the snapshot tool's --steps does.
#include "camera.h"
#include "web_layer.h"

#include <emscripten/emscripten.h>

#include <cstdio>
#include <cstring>

// In page_library.js: the address's fragment ("#..."), cut to fit size.
extern "C" int tollmere_location_hash(char* buffer, int size);

namespace {

const long maxSteps   = 100000;
long stepsFromAddress = 0;

// N of "#steps=N", or -1 when the fragment is not that.
long parseSteps(const char* hash)
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
    return n <= maxSteps ? n : -1;
}

} // namespace

void pageBeforeFirstFrame()
{
    char hash[64] = "";
    tollmere_location_hash(hash, sizeof hash);
    if (hash[0] == '\0' || std::strcmp(hash, "#") == 0)
        return;
    const long steps = parseSteps(hash);
    if (steps < 0) {
        std::fprintf(stderr,
                     "tollmere: the address ends in %s, not #steps=N with N from 0 to %ld: the start view "
                     "is shown\n",
                     hash, maxSteps);
        return;
    }
    for (long i = 0; i < steps; ++i)
        advanceOrbit();
    stepsFromAddress = steps;
}

extern "C" EMSCRIPTEN_KEEPALIVE unsigned tollmere_orbit_steps()
{
    return static_cast<unsigned>(stepsFromAddress) + glutIdleCalls();
}
