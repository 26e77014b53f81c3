// SPDX-License-Identifier: MIT
// The seven pictures of the enclosure and the sign board, in the order they
// are drawn: the one list of their files and the surfaces that show them.
// The enclosure, the pictures' generator, the benchmark and the tests include
// it; CMake reads the file names from the table's lines (src/scene/
// CMakeLists.txt) for the launchers, the install rules and the test scripts,
// so keep one entry a line.
#pragma once

#include <string_view>

struct ScenePicture {
    const char* file;    // its name in the picture directory
    const char* surface; // where the viewer shows it
};

// clang-format off
inline constexpr ScenePicture scenePictures[] = {
    { "Rear.tga",    "rear wall"    },
    { "Left.tga",    "left wall"    },
    { "Right.tga",   "right wall"   },
    { "Forward.tga", "forward wall" },
    { "skyme.tga",   "sky"          },
    { "brick.tga",   "floor"        },
    { "sign.tga",    "sign board"   },
};
// clang-format on

inline constexpr int scenePictureCount = sizeof scenePictures / sizeof scenePictures[0];

// Where the viewer reads them, relative to the directory it is started in.
inline constexpr const char* scenePictureDir = "data";

// The file shown on the surface named as in the table, nullptr for another name.
inline const char* scenePictureFile(std::string_view surface)
{
    for (const ScenePicture& picture : scenePictures)
        if (surface == picture.surface)
            return picture.file;
    return nullptr;
}
