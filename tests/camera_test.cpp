#include "camera.h"
#include <gtest/gtest.h>
TEST(Camera, Start) { initCamera(); EXPECT_EQ(eyeZ, 25.0); }
