// SPDX-License-Identifier: MIT
// tollmere-snapshot as a user runs it: without a display or beside a desktop
// it cannot draw on, with bad arguments, without its pictures, on a full
// disk, twice in a row, and never leaving its X server behind.
#include "child_process.h"
#include "image_compare.h"
#include "private_display.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

struct Result : ChildRun {
    bool leftProcesses = true; // anything the tool started still running after it ended
};

// A fresh working directory per test, so files written by one cannot pass another.
class Snapshot : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = makeScratchDirectory();
    }
    void TearDown() override
    {
        std::filesystem::remove_all(dir);
    }

    // The default pictures, where the tool looks for them: data/ under its working directory.
    void linkPictures()
    {
        ASSERT_EQ(symlink(TOLLMERE_SCENE_DATA, (dir + "/data").c_str()), 0);
    }

    // Runs the tool in the test's directory with no DISPLAY, as on a machine
    // without a desktop, or with `display` as DISPLAY, in a session of its
    // own: whatever it started (its private X server) is found by session id
    // after it has ended.
    Result snapshot(const std::string& arguments, const std::string& display = "")
    {
        const std::string env = display.empty() ? "env -u DISPLAY" : "env DISPLAY=" + display;
        Result run;
        static_cast<ChildRun&>(run) =
            runInDirectory(dir, "setsid sh -c 'echo $$ >session.txt; exec \"$0\" \"$@\"' " + env
                                    + " " TOLLMERE_SNAPSHOT " " + arguments);
        const std::string session = readText(dir + "/session.txt");
        if (!session.empty())
            run.leftProcesses =
                std::system(("pgrep -s " + session.substr(0, session.find('\n')) + " >/dev/null").c_str())
                == 0;
        return run;
    }

    std::string dir;
};

RgbImage golden(const std::string& name)
{
    RgbImage p;
    EXPECT_TRUE(readImage(std::string(TOLLMERE_GOLDEN_DIR) + "/" + name + ".png", &p)) << name;
    return p;
}

} // namespace

TEST_F(Snapshot, WritesTheStartViewToTollmerePngWithoutADisplay)
{
    linkPictures();
    const Result run = snapshot("");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "tollmere-snapshot: wrote tollmere.png (500 x 500, 0 orbit steps after the start view)\n");
    RgbImage picture;
    ASSERT_TRUE(readImage(dir + "/tollmere.png", &picture));
    const Comparison c = comparePictures(golden("view-000"), picture);
    EXPECT_TRUE(c.passes) << describe(c);
}

TEST_F(Snapshot, SameStepsGiveTheSameBytesAndTheGoldenView)
{
    linkPictures();
    ASSERT_EQ(snapshot("--steps 1 --out a.png").status, 0);
    ASSERT_EQ(snapshot("--out b.png --steps 1").status, 0);
    const std::string a = readText(dir + "/a.png");
    EXPECT_GT(a.size(), 1000u);
    EXPECT_TRUE(a == readText(dir + "/b.png")) << "two runs with the same inputs wrote different files";

    RgbImage picture;
    ASSERT_TRUE(readImage(dir + "/a.png", &picture));
    const Comparison c = comparePictures(golden("view-001"), picture);
    EXPECT_TRUE(c.passes) << describe(c);
    EXPECT_FALSE(comparePictures(golden("view-000"), picture).passes) << "one step must move the view";

    // A window resized (the page's canvas at a pixel ratio of 2 compares with 1000 x 1000).
    const Result resized = snapshot("--size 64 --out small.png");
    ASSERT_EQ(resized.status, 0) << resized.err;
    EXPECT_NE(resized.out.find("(64 x 64, 0 orbit steps"), std::string::npos) << resized.out;
    ASSERT_TRUE(readImage(dir + "/small.png", &picture));
    EXPECT_EQ(picture.width * 1000 + picture.height, 64064) << picture.width << " x " << picture.height;
}

TEST_F(Snapshot, ADesktopWithoutGlxGivesTheSameBytesAsNoDisplay)
{
    linkPictures();
    // A desktop no GL program can draw on, as over ssh -X or VNC: an X server without GLX.
    XvfbOptions withoutGlx;
    withoutGlx.screen = "1280x1024x24";
    withoutGlx.glx    = false;
    Xvfb desktop;
    std::string error;
    ASSERT_TRUE(startXvfb(withoutGlx, &desktop, &error)) << "Xvfb did not start: " << error;
    const Result onDesktop = snapshot("--out desktop.png", desktop.display);
    endXvfb(desktop.pid);
    ASSERT_EQ(onDesktop.status, 0) << onDesktop.err;
    ASSERT_EQ(snapshot("--out alone.png").status, 0);
    EXPECT_TRUE(readText(dir + "/desktop.png") == readText(dir + "/alone.png"));
}

TEST_F(Snapshot, HelpGoesToStandardOutput)
{
    const Result run = snapshot("--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("usage: tollmere-snapshot [--steps N] [--size N] [--out FILE.png]\n", 0), 0u)
        << run.out;
    EXPECT_EQ(run.err, "");
}

// Each failure as a person reads it, whole: refused arguments with status 2
// and the usage, a picture that cannot be written or read with status 1. None
// writes a picture or leaves its X server running.
TEST_F(Snapshot, FailuresSayWhyWithTheirStatusAndWriteNoPicture)
{
    const std::string usage =
        "usage: tollmere-snapshot [--steps N] [--size N] [--out FILE.png]\n"
        "  --steps N   orbit steps after the start view, 0 to 100000 (default 0: the start view)\n"
        "  --size N    the window's side in pixels, 1 to 2048 (default 500), as if resized to it\n"
        "  --out FILE  the PNG to write: a name ending in .png, or a device already there\n"
        "              (default tollmere.png)\n"
        "Reads its pictures from data/ under the working directory, like the viewer.\n";
    const auto refused = [&](const std::string& why) { return "tollmere-snapshot: " + why + "\n" + usage; };
    const std::string steps   = "--steps takes a whole number from 0 to 100000, not ";
    const std::string noSpace = "No space left on device\n";
    ASSERT_EQ(symlink("/dev/full", (dir + "/full.png").c_str()), 0);

    const struct {
        const char* arguments;
        bool pictures; // data/ there
        int status;
        std::string out, err;
    } cases[] = {
        { "--steps", false, 2, "", refused("--steps needs a value") },
        { "--steps -1", false, 2, "", refused(steps + "'-1'") },
        { "--steps 2x", false, 2, "", refused(steps + "'2x'") },
        { "--steps ''", false, 2, "", refused(steps + "''") },
        { "--steps 100001", false, 2, "", refused(steps + "'100001'") },
        { "--steps 99999999999999999999", false, 2, "", refused(steps + "'99999999999999999999'") },
        { "--size 0", false, 2, "", refused("--size takes a whole number from 1 to 2048, not '0'") },
        { "--size 2049", false, 2, "", refused("--size takes a whole number from 1 to 2048, not '2049'") },
        { "--out", false, 2, "", refused("--out needs a value") },
        { "--out view.jpg", false, 2, "", refused("--out takes a file name ending in .png, not 'view.jpg'") },
        { "--frames 3", false, 2, "", refused("unknown argument '--frames'") },
        { "--out no-such-dir/view.png", true, 1, "",
          "tollmere-snapshot: cannot write no-such-dir/view.png: No such file or directory\n" },
        { "--out full.png", true, 1, "", "tollmere-snapshot: cannot write full.png: " + noSpace },
        { "--out /dev/full", true, 1, "", "tollmere-snapshot: cannot write /dev/full: " + noSpace },
        { "--out v.png", false, 1, "\nUnable to load TGA File!\n",
          "tollmere: data/Rear.tga: cannot be opened (No such file or directory); data/ is looked up under "
          "the working directory ("
              + std::filesystem::canonical(dir).string() + ")\n" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        std::filesystem::remove(dir + "/data");
        if (c.pictures)
            linkPictures();
        const Result run = snapshot(c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
        EXPECT_FALSE(run.leftProcesses) << "a process of the tool's session is still running";
    }
    for (const char* picture : { "tollmere.png", "v.png" })
        EXPECT_NE(access((dir + "/" + picture).c_str(), F_OK), 0) << picture << " written by a failed run";
}

TEST_F(Snapshot, ItsPrivateXServerEndsWithIt)
{
    linkPictures();
    const Result run = snapshot("--out v.png");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(run.leftProcesses) << "a process of the tool's session is still running";
}
