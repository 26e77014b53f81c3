// SPDX-License-Identifier: MIT
// The golden-picture comparison: what counts as the same picture, and the
// diff image that shows where it is not.
#include "image_compare.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

RgbImage grey(int width, int height, unsigned char value)
{
    RgbImage p;
    p.width  = width;
    p.height = height;
    p.rgb.assign(static_cast<size_t>(width) * height * 3, value);
    return p;
}

// Changes `count` pixels' green channel by `by`, from the first pixel on.
RgbImage shifted(RgbImage p, int count, int by)
{
    for (int i = 0; i < count; ++i)
        p.rgb[static_cast<size_t>(i) * 3 + 1] = static_cast<unsigned char>(p.rgb[i * 3 + 1] + by);
    return p;
}

} // namespace

TEST(ImageCompare, IdenticalPicturesPass)
{
    const Comparison c = comparePictures(grey(500, 500, 90), grey(500, 500, 90));
    EXPECT_TRUE(c.sameSize);
    EXPECT_EQ(c.pixels, 250000);
    EXPECT_EQ(c.off, 0);
    EXPECT_EQ(c.worst, 0);
    EXPECT_TRUE(c.passes);
}

TEST(ImageCompare, ThreeLevelsPerChannelIsNoiseFourIsAChange)
{
    const RgbImage expected = grey(10, 10, 100);
    EXPECT_EQ(comparePictures(expected, shifted(expected, 100, 3)).off, 0);
    EXPECT_EQ(comparePictures(expected, shifted(expected, 100, -3)).off, 0);
    EXPECT_EQ(comparePictures(expected, shifted(expected, 7, 4)).off, 7);
    EXPECT_EQ(comparePictures(expected, shifted(expected, 7, -4)).worst, 4);
}

TEST(ImageCompare, AtMostEightPixelsMayBeOff)
{
    const RgbImage expected = grey(500, 500, 100);
    EXPECT_TRUE(comparePictures(expected, shifted(expected, 8, 50)).passes);
    const Comparison tooMany = comparePictures(expected, shifted(expected, 9, 50));
    EXPECT_FALSE(tooMany.passes);
    EXPECT_EQ(describe(tooMany),
              "9 of 250000 pixels (0.004 %) differ by more than the tolerance (worst 50/255)");
}

TEST(ImageCompare, PicturesOfAnotherSizeNeverPass)
{
    const Comparison c = comparePictures(grey(500, 500, 0), grey(500, 499, 0));
    EXPECT_FALSE(c.sameSize);
    EXPECT_FALSE(c.passes);
    EXPECT_EQ(describe(c), "the pictures differ in size");
    EXPECT_FALSE(comparePictures(grey(2, 2, 0), RgbImage{ 2, 2, {} }).passes);
}

TEST(ImageCompare, DiffMarksExactlyTheOffPixelsInRed)
{
    const RgbImage expected = grey(4, 1, 200);
    RgbImage actual         = expected;
    actual.rgb[1 * 3 + 2]   = 190; // pixel 1: blue off by 10
    actual.rgb[2 * 3 + 0]   = 198; // pixel 2: red within the tolerance
    const RgbImage diff     = diffPicture(expected, actual);
    ASSERT_EQ(diff.rgb.size(), expected.rgb.size());
    const unsigned char want[] = { 50, 50, 50, 255, 0, 0, 50, 50, 50, 50, 50, 50 };
    for (size_t i = 0; i < sizeof want; ++i)
        EXPECT_EQ(diff.rgb[i], want[i]) << "byte " << i;
}

TEST(ImageCompare, PngRoundTripKeepsEveryPixelAndRowOrder)
{
    RgbImage p = grey(3, 2, 0);
    for (size_t i = 0; i < p.rgb.size(); ++i)
        p.rgb[i] = static_cast<unsigned char>(i * 13);
    const std::string path = ::testing::TempDir() + "image_compare_round_trip.png";
    ASSERT_TRUE(writePng(path, p));
    RgbImage back;
    ASSERT_TRUE(readImage(path, &back));
    EXPECT_EQ(back.width, 3);
    EXPECT_EQ(back.height, 2);
    EXPECT_EQ(back.rgb, p.rgb);
    std::remove(path.c_str());
    EXPECT_FALSE(readImage(path, &back));
}
