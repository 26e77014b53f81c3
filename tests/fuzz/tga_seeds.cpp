// SPDX-License-Identifier: MIT
// Writes the fuzz seed corpus into the folder named on the command line: one
// small file of every kind the TGA reader decodes.
#include "tga_writer.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tga_seeds FOLDER\n");
        return 2;
    }
    // 5 x 3 with a run in each row and some varied pixels.
    const std::vector<unsigned char> pixels = {
        9,  9,  9,  200, 9,  9,  9,  200, 9,  9,  9,   200, 1,  2,   3,  4,   250, 0, 7,   0,
        5,  5,  5,  5,   5,  5,  5,  5,   40, 80, 120, 160, 0,  255, 0,  255, 0,   0, 255, 99,
        77, 66, 55, 44,  77, 66, 55, 44,  77, 66, 55,  44,  77, 66,  55, 44,  3,   3, 3,   3,
    };
    int count = 0;
    for (int bits : { 16, 24, 32 })
        for (int kind = 0; kind < 16; ++kind) {
            TgaWriteOptions options{ bits, (kind & 1) != 0, (kind & 2) != 0, (kind & 4) ? "seed" : "" };
            options.colourMapLength = (kind & 8) ? 2 : 0;
            const std::string name =
                std::string(argv[1]) + "/seed_" + std::to_string(bits) + "_" + std::to_string(kind) + ".tga";
            count += writeFile(name, encodeTga(5, 3, 4, pixels, options));
        }
    count +=
        writeFile(std::string(argv[1]) + "/seed_empty.tga", encodeTga(0, 3, 4, {}, { 32, true, false, "" }));
    std::printf("tga_seeds: wrote %d files\n", count);
    return count == 49 ? 0 : 1;
}
