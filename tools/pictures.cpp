// SPDX-License-Identifier: MIT
// The default pictures: four walls that tell up from down and left from
// right at a glance, a cloudy sky, a brick floor that tiles without seams and
// a sign board. Each is drawn as a person should see it from the centre of
// the scene, then laid into the file the way the enclosure's texture
// coordinates will read it back.
#include "pictures.h"

#include "scene_pictures.h"
#include "tga_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Colour {
    double r, g, b;
};

Colour mix(const Colour& a, const Colour& b, double t)
{
    return { a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t };
}

Colour scaled(const Colour& c, double k)
{
    return { c.r * k, c.g * k, c.b * k };
}

double smoothstep(double edge0, double edge1, double x)
{
    const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// Integer hashing keeps the "random" detail identical on every run.
double random01(int x, int y, uint32_t seed)
{
    uint32_t h =
        seed * 0x9E3779B1u ^ static_cast<uint32_t>(x) * 0x85EBCA77u ^ static_cast<uint32_t>(y) * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h / 4294967296.0;
}

double valueNoise(double x, double y, uint32_t seed)
{
    const int x0     = static_cast<int>(std::floor(x));
    const int y0     = static_cast<int>(std::floor(y));
    const double fx  = smoothstep(0.0, 1.0, x - x0);
    const double fy  = smoothstep(0.0, 1.0, y - y0);
    const double top = random01(x0, y0, seed) + (random01(x0 + 1, y0, seed) - random01(x0, y0, seed)) * fx;
    const double bottom =
        random01(x0, y0 + 1, seed) + (random01(x0 + 1, y0 + 1, seed) - random01(x0, y0 + 1, seed)) * fx;
    return top + (bottom - top) * fy;
}

double fractalNoise(double x, double y, uint32_t seed)
{
    double sum = 0.0, amplitude = 0.5;
    for (int octave = 0; octave < 5; ++octave) {
        sum += amplitude * valueNoise(x, y, seed + static_cast<uint32_t>(octave));
        x *= 2.0;
        y *= 2.0;
        amplitude *= 0.5;
    }
    return sum;
}

// A picture as a person sees it: (0, 0) is the top-left corner.
struct Canvas {
    int width, height;
    std::vector<Colour> px;

    Canvas(int w, int h, const Colour& fill) : width(w), height(h), px(static_cast<size_t>(w) * h, fill)
    {
    }

    Colour& at(int x, int y)
    {
        return px[static_cast<size_t>(y) * width + x];
    }

    void fillRect(int x0, int y0, int x1, int y1, const Colour& c)
    {
        for (int y = std::max(y0, 0); y < std::min(y1, height); ++y)
            for (int x = std::max(x0, 0); x < std::min(x1, width); ++x)
                at(x, y) = c;
    }
};

void verticalGradient(Canvas& canvas, int y0, int y1, const Colour& top, const Colour& bottom)
{
    for (int y = y0; y < y1; ++y)
        canvas.fillRect(0, y, canvas.width, y + 1, mix(top, bottom, (y - y0) / double(y1 - y0 - 1)));
}

// A 5 x 7 bitmap font with just the letters the pictures spell.
struct Glyph {
    char letter;
    const char* rows[7];
};

const Glyph font[] = {
    { 'A', { ".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#" } },
    { 'D', { "####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####." } },
    { 'E', { "#####", "#....", "#....", "####.", "#....", "#....", "#####" } },
    { 'F', { "#####", "#....", "#....", "####.", "#....", "#....", "#...." } },
    { 'G', { ".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####" } },
    { 'H', { "#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#" } },
    { 'I', { ".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###." } },
    { 'L', { "#....", "#....", "#....", "#....", "#....", "#....", "#####" } },
    { 'O', { ".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###." } },
    { 'R', { "####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#" } },
    { 'T', { "#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.." } },
    { 'W', { "#...#", "#...#", "#...#", "#.#.#", "#.#.#", "##.##", "#...#" } },
    { 'e', { ".....", ".....", ".###.", "#...#", "#####", "#....", ".###." } },
    { 'l', { ".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###." } },
    { 'm', { ".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#" } },
    { 'o', { ".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###." } },
    { 'r', { ".....", ".....", "#.##.", "##..#", "#....", "#....", "#...." } },
};

const Glyph* glyphFor(char letter)
{
    for (const Glyph& glyph : font)
        if (glyph.letter == letter)
            return &glyph;
    return nullptr; // drawn as a space
}

int textCells(const std::string& text)
{
    return static_cast<int>(text.size()) * 6 - 1; // one blank column between letters
}

// Each font cell becomes a cellW x cellH block; a shadow falls to the lower right.
void drawText(Canvas& canvas, const std::string& text, int centreX, int centreY, int cellW, int cellH,
              const Colour& colour, const Colour& shadow)
{
    const int left = centreX - textCells(text) * cellW / 2;
    const int top  = centreY - 7 * cellH / 2;
    const int drop = std::max(1, std::min(cellW, cellH) / 3);

    for (int pass = 0; pass < 2; ++pass) {
        const int offset = pass == 0 ? drop : 0;
        for (size_t i = 0; i < text.size(); ++i) {
            const Glyph* glyph = glyphFor(text[i]);
            if (!glyph)
                continue;
            for (int row = 0; row < 7; ++row)
                for (int col = 0; col < 5; ++col) {
                    if (glyph->rows[row][col] != '#')
                        continue;
                    const int x = left + (static_cast<int>(i) * 6 + col) * cellW + offset;
                    const int y = top + row * cellH + offset;
                    canvas.fillRect(x, y, x + cellW, y + cellH, pass == 0 ? shadow : colour);
                }
        }
    }
}

int textScale(const std::string& text, int maxWidth, int maxScale)
{
    return std::clamp(maxWidth / textCells(text), 1, maxScale);
}

// An arrow pointing to the top of the picture: a triangle head on a shaft.
void drawUpArrow(Canvas& canvas, int centreX, int tipY, int size, const Colour& colour)
{
    const int headHeight = size * 5 / 8;
    for (int y = tipY; y < tipY + headHeight; ++y) {
        const int half = (y - tipY) * size / 2 / headHeight;
        canvas.fillRect(centreX - half, y, centreX + half + 1, y + 1, colour);
    }
    canvas.fillRect(centreX - size / 6, tipY + headHeight, centreX + size / 6 + 1, tipY + size, colour);
}

struct WallStyle {
    const char* name;
    Colour top, bottom, ground, lettering;
};

// A wall poster: a sky-to-earth gradient with a darker ground band along the
// bottom, an up arrow, the wall's name in big letters, and a red stripe on
// the viewer's left, green on the right.
Canvas wallCanvas(const WallStyle& style)
{
    const int w = 384, h = 256, groundTop = 214, stripe = 28;
    const Colour red = { 205, 45, 45 }, green = { 40, 165, 80 }, white = { 250, 250, 245 };
    const Colour shadow = scaled(style.bottom, 0.45);

    Canvas canvas(w, h, style.top);
    verticalGradient(canvas, 0, groundTop, style.top, style.bottom);
    canvas.fillRect(0, groundTop, w, h, style.ground);
    canvas.fillRect(0, groundTop, w, groundTop + 4, mix(style.ground, white, 0.5));

    canvas.fillRect(0, 0, stripe, groundTop, red);
    canvas.fillRect(w - stripe, 0, w, groundTop, green);
    drawText(canvas, "L", stripe / 2, groundTop / 2, 3, 3, white, scaled(red, 0.5));
    drawText(canvas, "R", w - stripe / 2, groundTop / 2, 3, 3, white, scaled(green, 0.5));

    drawUpArrow(canvas, w / 2, 14, 72, style.lettering);
    const int scale = textScale(style.name, w - 3 * stripe, 10);
    drawText(canvas, style.name, w / 2, 146, scale, scale, style.lettering, shadow);
    return canvas;
}

// The sky overhead: deep blue straight up, paler toward the walls, with
// soft clouds.
Canvas skyCanvas()
{
    const int size      = 256;
    const Colour zenith = { 52, 112, 205 }, horizon = { 185, 215, 245 }, cloud = { 252, 252, 255 };
    Canvas canvas(size, size, zenith);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double dx = (x + 0.5) / size * 2.0 - 1.0, dy = (y + 0.5) / size * 2.0 - 1.0;
            const Colour blue   = mix(zenith, horizon, smoothstep(0.1, 1.3, std::sqrt(dx * dx + dy * dy)));
            const double n      = fractalNoise(x / 40.0, y / 40.0, 7u);
            const double cover  = smoothstep(0.52, 0.68, n);
            const Colour shaded = mix(cloud, Colour{ 200, 208, 222 }, smoothstep(0.62, 0.8, n) * 0.6);
            canvas.at(x, y)     = mix(blue, shaded, cover);
        }
    return canvas;
}

// Running-bond brickwork, four courses of two bricks. Every joint lies on a
// multiple of the brick sizes, which divide the tile, so the tile repeats
// without a seam; each brick has its own shade so the tile's own period is
// the only one.
Canvas brickCanvas()
{
    const int size = 128, brickW = 64, brickH = 32, joint = 4;
    const Colour mortar = { 196, 190, 178 }, clay = { 160, 72, 48 };
    Canvas canvas(size, size, mortar);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const int course  = y / brickH;
            const int shifted = (x + (course % 2) * brickW / 2) % size;
            const int brick   = shifted / brickW;
            const int bx = shifted % brickW, by = y % brickH;
            const double grain = random01(x, y, 3u) * 16.0 - 8.0;
            if (bx < joint || by < joint) {
                canvas.at(x, y) = { mortar.r + grain, mortar.g + grain, mortar.b + grain };
                continue;
            }
            const double shade = 0.78 + 0.4 * random01(brick, course, 11u);
            const double edge  = (bx < joint + 2 || by < joint + 2) ? 0.85 : 1.0; // worn edge by the joint
            const Colour c     = scaled(clay, shade * edge);
            canvas.at(x, y)    = { c.r + grain, c.g + grain, c.b + grain };
        }
    return canvas;
}

// A wooden board with a frame and the name of the place.
Canvas signCanvas()
{
    const int w = 300, h = 212, frame = 12;
    const Colour wood = { 150, 98, 52 }, dark = { 86, 50, 26 }, cream = { 252, 238, 196 };
    Canvas canvas(w, h, dark);
    for (int y = frame; y < h - frame; ++y)
        for (int x = frame; x < w - frame; ++x) {
            const double grain = std::sin(y * 0.55 + 3.0 * fractalNoise(x / 60.0, y / 9.0, 5u));
            canvas.at(x, y)    = scaled(wood, 0.9 + 0.12 * grain);
        }
    canvas.fillRect(frame, frame, w - frame, frame + 3, scaled(dark, 1.5));
    const int cellW = textScale("Tollmere", w - 4 * frame, 6);
    drawText(canvas, "Tollmere", w / 2, h / 2 - 4, cellW, cellW * 3 / 2, cream, dark);
    canvas.fillRect(w / 2 - 90, h / 2 + 40, w / 2 + 90, h / 2 + 44, cream);
    return canvas;
}

// Ordered dither offsets in [0, 1): smooth gradients survive the 5 bits per
// channel of a 16-bit file without visible bands.
double bayer(int x, int y)
{
    static const int matrix[4][4] = { { 0, 8, 2, 10 }, { 12, 4, 14, 6 }, { 3, 11, 1, 9 }, { 15, 7, 13, 5 } };
    return matrix[y & 3][x & 3] / 16.0;
}

// Lays a canvas into file order: bottom row first, and mirrored when the
// surface's s coordinate runs from the viewer's right to left.
DefaultPicture toPicture(const char* file, const Canvas& canvas, bool mirrored, int channels,
                         const TgaWriteOptions& options)
{
    DefaultPicture picture{ file, canvas.width, canvas.height, channels, {}, options };
    picture.pixels.reserve(static_cast<size_t>(canvas.width) * canvas.height * channels);
    for (int row = 0; row < canvas.height; ++row)
        for (int col = 0; col < canvas.width; ++col) {
            const int x         = mirrored ? canvas.width - 1 - col : col;
            const Colour c      = canvas.px[static_cast<size_t>(canvas.height - 1 - row) * canvas.width + x];
            const double dither = options.bits == 16 ? bayer(col, row) * 8.0 : 0.0;
            for (double v : { c.r, c.g, c.b })
                picture.pixels.push_back(
                    static_cast<unsigned char>(std::lround(std::clamp(v + dither, 0.0, 255.0))));
            if (channels == 4)
                picture.pixels.push_back(255);
        }
    return picture;
}

TgaWriteOptions kind(int bits, bool runLength, const char* id)
{
    TgaWriteOptions options;
    options.bits      = bits;
    options.runLength = runLength;
    options.id        = id;
    return options;
}

} // namespace

std::vector<DefaultPicture> defaultPictures()
{
    const WallStyle rear  = { "REAR", { 236, 150, 96 }, { 176, 74, 46 }, { 92, 52, 36 }, { 255, 242, 214 } };
    const WallStyle left  = { "LEFT", { 110, 190, 215 }, { 30, 96, 138 }, { 22, 52, 72 }, { 240, 250, 255 } };
    const WallStyle right = {
        "RIGHT", { 188, 140, 226 }, { 92, 52, 146 }, { 52, 30, 82 }, { 255, 236, 160 }
    };
    const WallStyle forward = {
        "FORWARD", { 232, 210, 110 }, { 146, 124, 40 }, { 82, 66, 26 }, { 60, 40, 10 }
    };

    // Seen from inside, the left and forward walls' s coordinate runs from the
    // viewer's right to left, so their pictures are stored mirrored.
    std::vector<DefaultPicture> pictures;
    pictures.push_back(toPicture(scenePictureFile("rear wall"), wallCanvas(rear), false, 3,
                                 kind(24, false, "Tollmere rear wall")));
    pictures.push_back(
        toPicture(scenePictureFile("left wall"), wallCanvas(left), true, 3, kind(24, true, "")));
    pictures.push_back(
        toPicture(scenePictureFile("right wall"), wallCanvas(right), false, 3, kind(16, false, "")));
    pictures.push_back(
        toPicture(scenePictureFile("forward wall"), wallCanvas(forward), true, 4, kind(32, false, "")));
    pictures.push_back(toPicture(scenePictureFile("sky"), skyCanvas(), false, 3, kind(24, true, "")));
    pictures.push_back(toPicture(scenePictureFile("floor"), brickCanvas(), false, 3, kind(24, false, "")));
    pictures.push_back(
        toPicture(scenePictureFile("sign board"), signCanvas(), false, 4, kind(32, true, "Tollmere sign")));
    return pictures;
}

std::vector<std::string> writeDefaultPictures(const std::string& dir, bool onlyMissing)
{
    std::vector<std::string> failed;
    for (const DefaultPicture& picture : defaultPictures()) {
        const std::string path = dir + "/" + picture.file;
        if (onlyMissing) {
            if (std::FILE* existing = std::fopen(path.c_str(), "rb")) {
                std::fclose(existing);
                continue;
            }
        }
        const auto bytes =
            encodeTga(picture.width, picture.height, picture.channels, picture.pixels, picture.options);
        if (!writeFile(path, bytes))
            failed.push_back(path);
    }
    return failed;
}
