// SPDX-License-Identifier: MIT
// A picture that cannot be read ends the viewer with status 1 before any
// frame is shown. Each case runs the real viewer (or a probe that starts the
// same way) as a child process in a scratch directory whose data/ lacks or
// spoils one picture.
#include "child_process.h"
#include "image_compare.h"
#include "scene_pictures.h"
#include "tga_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
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

int lineCount(const std::string& text)
{
    int lines = 0;
    for (char c : text)
        lines += c == '\n';
    return lines;
}

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

} // namespace

TEST_F(StartupFailure, MissingPictureEndsTheViewerWithTheReadersMessage)
{
    for (const char* picture : { "Rear.tga", "skyme.tga" }) {
        SCOPED_TRACE(picture);
        fs::remove(dir / "data" / picture);
        const ChildRun outcome = run(VIEWER_PATH);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.out, "\nUnable to load TGA File!\n");
        EXPECT_EQ(lineCount(outcome.err), 1) << outcome.err;
        EXPECT_NE(outcome.err.find(std::string("data/") + picture), std::string::npos) << outcome.err;
        EXPECT_NE(outcome.err.find("cannot be opened (No such file or directory)"), std::string::npos)
            << outcome.err;
        EXPECT_NE(outcome.err.find("data/ is looked up under the working directory"), std::string::npos)
            << outcome.err;
        EXPECT_NE(outcome.err.find("scripts/run"), std::string::npos) << outcome.err;
        fs::copy_file(fs::path(PICTURES_PATH) / picture, dir / "data" / picture);
    }
}

TEST_F(StartupFailure, UnreadableKindEndsTheViewerWithoutTheReadersMessage)
{
    // An 8-bit grey image is a TGA file, but not one the viewer reads.
    const std::vector<unsigned char> grey = { 0,  0,  3,  0, 0, 0, 0, 0, 0,
                                              0,  0,  0,  2, 0, 2, 0, 8, 0, // 2 x 2, type 3
                                              10, 20, 30, 40 };
    ASSERT_TRUE(writeFile((dir / "data" / "Left.tga").string(), grey));

    const ChildRun outcome = run(VIEWER_PATH);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(lineCount(outcome.err), 1) << outcome.err;
    EXPECT_NE(outcome.err.find("data/Left.tga"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("not a kind of TGA file"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("image types 2 and 10"), std::string::npos) << "which kinds are read";
}

TEST_F(StartupFailure, SpoiltPictureEndsTheViewerSayingWhy)
{
    const std::string defaultLeft = readText((fs::path(PICTURES_PATH) / "Left.tga").string());
    ASSERT_GT(defaultLeft.size(), 18u);
    const struct {
        const char* what;
        bool directory;
        std::vector<unsigned char> bytes;
        const char* reason;
    } cases[] = {
        { "a directory", true, {}, "is a directory, not a picture" },
        { "an empty file", false, {}, "is an empty file, not a picture" },
        { "a picture cut short in its header", false,
          std::vector<unsigned char>(defaultLeft.begin(), defaultLeft.begin() + 10),
          "too short: the file ends after 10 bytes, inside its 18-byte header" },
        // Wider than llvmpipe's largest texture, though few pixels.
        { "16385 x 1", false, encodeTga(16385, 1, 3, std::vector<unsigned char>(16385 * 3, 90)),
          "too large: 16385 x 1 pixels; the limit is 67108864 pixels (8192 x 8192) and 16384 on a side" },
        // The reader takes it (an empty record); GLU does not.
        { "0 x 5", false, encodeTga(0, 5, 3, {}),
          "cannot be made into a texture (0 x 5 pixels): GLU says invalid value" },
    };
    const fs::path left = dir / "data" / "Left.tga";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(left);
        if (c.directory)
            fs::create_directory(left);
        else
            ASSERT_TRUE(writeFile(left.string(), c.bytes));
        const ChildRun outcome = run(VIEWER_PATH);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(outcome.err, std::string("tollmere: data/Left.tga: ") + c.reason + "\n");
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
