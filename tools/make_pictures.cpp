// SPDX-License-Identifier: MIT
// tollmere-pictures: writes the seven default pictures the viewer reads from
// data/. Usage: tollmere-pictures [--only-missing] DIR
#include "pictures.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

int main(int argc, char** argv)
{
    const bool onlyMissing = argc == 3 && std::strcmp(argv[1], "--only-missing") == 0;
    if (argc != 2 && !onlyMissing) {
        std::fprintf(stderr, "usage: tollmere-pictures [--only-missing] DIR\n");
        return 2;
    }
    const char* dir = argv[argc - 1];

    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        std::fprintf(stderr, "tollmere-pictures: cannot make %s: %s\n", dir, error.message().c_str());
        return 1;
    }
    const auto failed = writeDefaultPictures(dir, onlyMissing);
    for (const auto& path : failed)
        std::fprintf(stderr, "tollmere-pictures: cannot write %s\n", path.c_str());
    return failed.empty() ? 0 : 1;
}
