// SPDX-License-Identifier: MIT
// A picture that cannot be read ends the viewer with status 1 before any
// frame is shown. Each case runs the real viewer (or a probe that starts the
// same way) as a child process in a scratch directory whose data/ lacks or
// spoils one picture. Every failure message the viewer gives is checked here
// whole, as a person reads it (the snapshot tool's are in snapshot_test.cpp).
#include "child_process.h"
#include "image_compare.h"
#include "scene_pictures.h"
#include "tga_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

class StartupFailure : public testing::Test {
protected:
    fs::path dir;

    void SetUp() override
    {
        dir = makeScratchDirectory();
        fs::create_directory(dir / "data");
        for (const ScenePicture& picture : scenePictures)
            fs::copy_file(fs::path(PICTURES_PATH) / picture.file, dir / "data" / picture.file);
    }

    void TearDown() override
    {
        fs::remove_all(dir);
    }

    // The program in the scratch directory; one still running after
    // `seconds` counts as not having ended.
    ChildRun run(const char* program, int seconds = 30)
    {
        return runInDirectory(dir, std::string("'") + program + "'", seconds);
    }
};

RgbImage picture(const fs::path& path)
{
    RgbImage image;
    EXPECT_TRUE(readImage(path.string(), &image)) << path;
    return image;
}

bool sameAt(const RgbImage& a, const RgbImage& b, int x, int y)
{
    return near(colourAt(a, x, y), colourAt(b, x, y), 0);
}

// What a source checkout has and an installed viewer's directory has not.
void makeCheckout(const fs::path& dir)
{
    fs::create_directories(dir / "scripts");
    std::ofstream(dir / "scripts" / "run") << "#!/bin/sh\n";
    fs::permissions(dir / "scripts" / "run", fs::perms::owner_all);
}

// Every occurrence of `from` in text replaced by `to`.
std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

} // namespace

// Each message as a person reads it, whole, with the input that makes it.
// Rows spoil data/Left.tga unless they say otherwise; @DIR@ stands for the
// scratch directory, the viewer's working directory.
TEST_F(StartupFailure, EveryFailureMessageReadsWhole)
{
    using Spoil          = std::function<void(const fs::path& dir)>;
    const auto left      = [](const fs::path& dir) { return dir / "data" / "Left.tga"; };
    const auto writeLeft = [left](std::vector<unsigned char> bytes) {
        // Shared, not copied with each copy of the case: GCC 14 warns wrongly
        // about copying a vector of one byte.
        auto shared = std::make_shared<const std::vector<unsigned char>>(std::move(bytes));
        return [left, shared](const fs::path& dir) {
            fs::remove(left(dir));
            ASSERT_TRUE(writeFile(left(dir).string(), *shared));
        };
    };
    const std::string defaultLeft = readText((fs::path(PICTURES_PATH) / "Left.tga").string());
    ASSERT_GT(defaultLeft.size(), 18u);
    const std::vector<unsigned char> leftBytes(defaultLeft.begin(), defaultLeft.end());
    const auto headerOnly = [](int type, int width, int height, int bits) {
        std::vector<unsigned char> file =
            encodeTga(0, 0, bits == 32 ? 4 : 3, {}, { bits, type == 10, false, "" });
        file[12] = static_cast<unsigned char>(width & 0xFF);
        file[13] = static_cast<unsigned char>(width >> 8);
        file[14] = static_cast<unsigned char>(height & 0xFF);
        file[15] = static_cast<unsigned char>(height >> 8);
        return file;
    };
    const std::string viewer = std::string("'") + VIEWER_PATH + "'";
    const std::string probe  = std::string("'") + PROBE_PATH + "'";
    const std::string unable = "\nUnable to load TGA File!\n";

    struct Case {
        std::string input;
        Spoil spoil;
        std::string command; // run in the scratch directory
        int status;
        std::string out, err;
    };
    // A picture that is not there: where it was looked for, and in a source
    // checkout how to make it (an installed viewer has no scripts/run).
    const auto missing = [&](const std::string& picture, bool checkout) {
        return Case{ "no " + picture + (checkout ? ", in a source checkout" : ""),
                     [picture, checkout](const fs::path& dir) {
                         fs::remove(dir / "data" / picture);
                         if (checkout)
                             makeCheckout(dir);
                     },
                     viewer,
                     1,
                     unable,
                     "tollmere: data/" + picture
                         + ": cannot be opened (No such file or directory); data/ is looked up under the "
                           "working directory (@DIR@)"
                         + (checkout
                                ? ", and scripts/run makes the missing default pictures and starts the viewer"
                                : "")
                         + "\n" };
    };
    const Case cases[] = {
        missing("Left.tga", false),
        missing("Left.tga", true),
        missing("Rear.tga", false),
        missing("Rear.tga", true),
        missing("skyme.tga", false),
        missing("skyme.tga", true),
        // A picture there that cannot be opened gets its own reason and no
        // hint, even in a checkout.
        { "Left.tga a symbolic link to itself, in a source checkout",
          [left](const fs::path& dir) {
              fs::remove(left(dir));
              fs::create_symlink("Left.tga", left(dir));
              makeCheckout(dir);
          },
          viewer, 1, unable,
          "tollmere: data/Left.tga: cannot be opened (Too many levels of symbolic links)\n" },
        { "data a plain file, in a source checkout",
          [](const fs::path& dir) {
              fs::remove_all(dir / "data");
              std::ofstream(dir / "data") << "not a folder\n";
              makeCheckout(dir);
          },
          viewer, 1, unable, "tollmere: data/Rear.tga: cannot be opened (Not a directory)\n" },
        // Opened, but not a picture the viewer reads.
        { "Left.tga a pipe that cannot be sought past its header",
          [left, leftBytes](const fs::path& dir) {
              fs::remove(left(dir));
              ASSERT_TRUE(writeFile((dir / "spare.tga").string(), leftBytes));
              ASSERT_EQ(mkfifo(left(dir).c_str(), 0600), 0);
          },
          "sh -c 'cat spare.tga >data/Left.tga 2>/dev/null & exec \"$0\"' " + viewer, 1, "",
          "tollmere: data/Left.tga: cannot be read (Illegal seek)\n" },
        { "Left.tga a directory",
          [left](const fs::path& dir) {
              fs::remove(left(dir));
              fs::create_directory(left(dir));
          },
          viewer, 1, "", "tollmere: data/Left.tga: is a directory, not a picture\n" },
        { "Left.tga empty", writeLeft({}), viewer, 1, "",
          "tollmere: data/Left.tga: is an empty file, not a picture\n" },
        { "Left.tga of 1 byte", writeLeft(std::vector<unsigned char>(1, leftBytes[0])), viewer, 1, "",
          "tollmere: data/Left.tga: too short: the file ends after 1 byte, inside its 18-byte header\n" },
        { "Left.tga cut short in its header",
          writeLeft(std::vector<unsigned char>(leftBytes.begin(), leftBytes.begin() + 10)), viewer, 1, "",
          "tollmere: data/Left.tga: too short: the file ends after 10 bytes, inside its 18-byte header\n" },
        // An 8-bit grey image is a TGA file, but not one the viewer reads.
        { "Left.tga 8-bit grey",
          writeLeft({ 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 8, 0, 10, 20, 30, 40 }), viewer, 1, "",
          "tollmere: data/Left.tga: not a kind of TGA file this viewer reads (it reads 16-bit, and 24- or "
          "32-bit true colour, uncompressed or run-length: image types 2 and 10)\n" },
        // Wider than llvmpipe's largest texture, though few pixels.
        { "Left.tga 16385 x 1", writeLeft(encodeTga(16385, 1, 3, std::vector<unsigned char>(16385 * 3, 90))),
          viewer, 1, "",
          "tollmere: data/Left.tga: too large: 16385 x 1 pixels; the limit is 67108864 pixels (8192 x 8192) "
          "and 16384 on a side\n" },
        { "Left.tga claiming 8193 x 8192", writeLeft(headerOnly(10, 8193, 8192, 32)), viewer, 1, "",
          "tollmere: data/Left.tga: too large: 8193 x 8192 pixels; the limit is 67108864 pixels (8192 x "
          "8192) "
          "and 16384 on a side\n" },
        { "Left.tga claiming 4097 x 4096 in its header alone", writeLeft(headerOnly(2, 4097, 4096, 32)),
          viewer, 1, "",
          "tollmere: data/Left.tga: too short: the file ends long before its 4097 x 4096 pixels\n" },
        { "Left.tga of 1024 x 1024 with allocations of 4 MiB failing",
          writeLeft(headerOnly(2, 1024, 1024, 32)), "env PROBE_FAIL_NEW_FROM=4194304 " + probe, 1, "",
          "tollmere: data/Left.tga: too large for the memory available: 1024 x 1024 pixels\n" },
        // The reader takes it (an empty record); GLU does not.
        { "Left.tga 0 x 5", writeLeft(encodeTga(0, 5, 3, {})), viewer, 1, "",
          "tollmere: data/Left.tga: cannot be made into a texture (0 x 5 pixels): GLU says invalid value\n" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        TearDown();
        SetUp();
        c.spoil(dir);
        const ChildRun outcome = runInDirectory(dir, c.command);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(outcome.out, c.out);
        EXPECT_EQ(outcome.err, replaced(c.err, "@DIR@", fs::canonical(dir).string()));
    }
}

TEST_F(StartupFailure, AllPicturesPresentKeepsTheViewerRunning)
{
    const ChildRun outcome = run(VIEWER_PATH, 5);
    EXPECT_EQ(outcome.status, -1) << outcome.err;
    EXPECT_EQ(outcome.out, "");
}

TEST_F(StartupFailure, MissingSignEndsTheFrameAfterTheSixEnclosureSurfaces)
{
    // The whole first frame, for comparison, as it was swapped.
    const ChildRun whole = run(PROBE_PATH);
    ASSERT_EQ(whole.status, 0) << whole.err;
    EXPECT_NE(readText(dir / "swaps.txt"), "0\n");
    const RgbImage frame = picture(dir / "back.png");
    ASSERT_EQ(frame.width, 500);

    fs::remove(dir / "data" / "sign.tga");
    fs::remove(dir / "back.png");
    fs::remove(dir / "swaps.txt");
    const ChildRun cut = run(PROBE_PATH);
    EXPECT_EQ(cut.status, 1);
    EXPECT_EQ(cut.out, "\nUnable to load TGA File!\n");
    EXPECT_NE(cut.err.find("data/sign.tga"), std::string::npos) << cut.err;
    EXPECT_EQ(readText(dir / "swaps.txt"), "0\n") << "no frame was shown";
    const RgbImage back = picture(dir / "back.png");
    ASSERT_EQ(back.width, 500);

    // The rear wall high up and the floor at the bottom (the first and the
    // last of the six) are drawn as in the whole frame ...
    for (const auto& p :
         { std::pair{ 250, 60 }, std::pair{ 60, 150 }, std::pair{ 250, 490 }, std::pair{ 20, 400 } })
        EXPECT_TRUE(sameAt(back, frame, p.first, p.second)) << "at " << p.first << ", " << p.second;
    // ... but where bell 2 and the beam hang in the whole frame, the back
    // buffer shows the wall behind them: nothing after the sign was drawn.
    for (const auto& p : { std::pair{ 250, 269 }, std::pair{ 300, 290 } })
        EXPECT_FALSE(sameAt(back, frame, p.first, p.second)) << "at " << p.first << ", " << p.second;
    EXPECT_TRUE(sameAt(back, frame, 210, 269)) << "the bare wall beside bell 2";
    EXPECT_TRUE(near(colourAt(back, 250, 269), colourAt(back, 210, 269), 0))
        << "bell 2's place shows the same row of wall";
}
