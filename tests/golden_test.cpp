// RgbImage regression: the viewer's start view and four orbit positions,
// replayed frame by frame as the viewer draws them, against golden PNGs made
// by tollmere-snapshot. After an intended change to the picture, refresh the
// goldens with scripts/refresh-goldens and look at them before committing.
#include "frame_capture.h"
#include "image_compare.h"
#include "private_display.h"
#include "scene.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

// Mesa unloads its driver at exit, so the driver's own allocations would show
// as leaks from an unknown module. Tests that draw check memory errors, not leaks.
extern "C" const char* __asan_default_options()
{
    return "detect_leaks=0";
}

namespace {

// 20 steps shows the sign board and its posts whole; elsewhere the beam hides them.
const std::vector<int> goldenSteps = { 0, 1, 20, 45, 130 };

std::string viewName(int steps)
{
    char name[32];
    std::snprintf(name, sizeof name, "view-%03d", steps);
    return name;
}

// ctest runs each view in a process of its own: replay only as far as needed.
RgbImage renderedView(size_t index)
{
    return captureViews({ goldenSteps.at(index) }).front();
}

class GoldenView : public ::testing::TestWithParam<size_t> {};

} // namespace

TEST(Golden, RenderedByMesasSoftwareRenderer)
{
    // The goldens are llvmpipe's pictures; another renderer differs by more than the tolerance.
    const std::string renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    EXPECT_NE(renderer.find("llvmpipe"), std::string::npos) << renderer;
}

TEST_P(GoldenView, MatchesItsGoldenPicture)
{
    const int steps              = goldenSteps[GetParam()];
    const std::string name       = viewName(steps);
    const std::string goldenPath = std::string(TOLLMERE_GOLDEN_DIR) + "/" + name + ".png";
    const RgbImage actual        = renderedView(GetParam());

    RgbImage golden;
    ASSERT_TRUE(readImage(goldenPath, &golden))
        << "cannot read " << goldenPath << "; make the goldens with scripts/refresh-goldens";
    const Comparison c = comparePictures(golden, actual);
    if (c.passes)
        return;

    const std::string diffDir = TOLLMERE_DIFF_DIR;
    mkdir(diffDir.c_str(), 0755);
    const std::string diffPath   = diffDir + "/" + name + "-diff.png";
    const std::string actualPath = diffDir + "/" + name + "-actual.png";
    writePng(actualPath, actual);
    if (c.sameSize)
        writePng(diffPath, diffPicture(golden, actual));
    ADD_FAILURE() << "the view after " << steps << " orbit steps differs from " << goldenPath << ": "
                  << describe(c) << ".\n  Differing pixels in red: " << diffPath
                  << "\n  What was drawn: " << actualPath
                  << "\n  If the change is intended: scripts/refresh-goldens";
}

// The benchmark's other strategy: textures forgotten (not deleted) are remade
// from their files on the next frame, and the picture stays the same.
TEST(Golden, TexturesRemadeFromTheirFilesDrawTheSameView)
{
    const RgbImage madeOnce = captureViews({ 0 }).front();
    EXPECT_EQ(liveTextureCount(), 7);
    forgetSurfaceTextures();
    const RgbImage remade = captureViews({ 0 }).front();
    EXPECT_EQ(liveTextureCount(), 14) << "forgotten textures are kept, and seven new ones made";
    EXPECT_TRUE(remade.rgb == madeOnce.rgb) << describe(comparePictures(madeOnce, remade));
}

INSTANTIATE_TEST_SUITE_P(Orbit, GoldenView, ::testing::Range<size_t>(0, goldenSteps.size()),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             return "After" + std::to_string(goldenSteps[info.param]) + "Steps";
                         });

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!GTEST_FLAG_GET(list_tests)) { // listing the tests at build time needs no display
        useSoftwareRenderer();
        std::string error;
        if (!openViewerForCapture(&argc, argv, &error)) {
            std::fprintf(stderr, "golden_test: %s\n", error.c_str());
            return 1;
        }
    }
    return RUN_ALL_TESTS();
}
