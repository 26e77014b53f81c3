// SPDX-License-Identifier: MIT
// The orbit arithmetic and the mouse buttons, without a display: GLUT's idle
// and redisplay calls are caught at link time (see tests/CMakeLists.txt).
#include "camera.h"

#include <GL/glut.h>
#include <gtest/gtest.h>

#include <cmath>

namespace {

void (*idleCallback)() = nullptr;
int redisplays         = 0;

const double wrapAt = 2.0 * 3.14156;

// What GLUT's main loop does when it is idle.
void runIdle(int times)
{
    for (int i = 0; i < times && idleCallback; ++i)
        idleCallback();
}

class Camera : public testing::Test {
protected:
    void SetUp() override
    {
        initCamera();
        idleCallback = nullptr;
        redisplays   = 0;
    }
};

} // namespace

extern "C" void __wrap_glutIdleFunc(void (*callback)())
{
    idleCallback = callback;
}

extern "C" void __wrap_glutPostRedisplay()
{
    ++redisplays;
}

TEST_F(Camera, StartsAtTwentyFiveUnitsLookingAtTheOriginUntilTheFirstStep)
{
    EXPECT_EQ(orbitAngle, 90.0);
    EXPECT_EQ(orbitRadius, 25.0);
    EXPECT_DOUBLE_EQ(angleStep, 4.0 * 3.14156 / 360.0);
    EXPECT_EQ(eyeX, 0.0);
    EXPECT_EQ(eyeY, 0.0);
    EXPECT_EQ(eyeZ, 25.0);
    EXPECT_EQ(centerX, 0.0);
    EXPECT_EQ(centerY, 0.0);
    EXPECT_EQ(centerZ, 0.0);
    EXPECT_EQ(upX, 0.0);
    EXPECT_EQ(upY, 1.0);
    EXPECT_EQ(upZ, 0.0);
}

TEST_F(Camera, FirstStepJumpsToTheWrappedStartAngle)
{
    advanceOrbit();
    const double angle = 90.0 + angleStep - wrapAt;
    EXPECT_DOUBLE_EQ(orbitAngle, angle);
    EXPECT_DOUBLE_EQ(eyeX, std::cos(angle) * 25.0);
    EXPECT_EQ(eyeY, 0.0);
    EXPECT_DOUBLE_EQ(eyeZ, std::sin(angle) * 25.0);
    EXPECT_GT(std::hypot(eyeX, eyeZ - 25.0), 1.0) << "the first step is a visible jump";
    EXPECT_NEAR(std::hypot(eyeX, eyeZ), 25.0, 1e-9);
}

TEST_F(Camera, FourteenStartUpStepsWrapOnceEachThenTheFifteenthDoesNot)
{
    for (int call = 1; call <= 14; ++call) {
        const double before = orbitAngle;
        advanceOrbit();
        EXPECT_NEAR(orbitAngle, before + angleStep - wrapAt, 1e-12) << "call " << call;
    }
    EXPECT_NEAR(orbitAngle, 90.0 + 14 * (angleStep - wrapAt), 1e-12);
    EXPECT_GT(orbitAngle, 0.0);
    EXPECT_LT(orbitAngle, wrapAt);

    const double before = orbitAngle;
    advanceOrbit();
    EXPECT_DOUBLE_EQ(orbitAngle, before + angleStep);
}

TEST_F(Camera, WrapsOnlyAnAngleStrictlyBeyondTheThreshold)
{
    angleStep  = 0.0;
    orbitAngle = wrapAt;
    advanceOrbit();
    EXPECT_EQ(orbitAngle, wrapAt);

    orbitAngle = std::nextafter(wrapAt, 10.0);
    advanceOrbit();
    EXPECT_NEAR(orbitAngle, 0.0, 1e-12);
}

TEST_F(Camera, StepsStayOnTheCircleAtEyeHeightWithUpAlongY)
{
    upX = 5.0; // anything a step must put right
    for (int i = 0; i < 500; ++i) {
        advanceOrbit();
        ASSERT_NEAR(std::hypot(eyeX, eyeZ), 25.0, 1e-9);
        ASSERT_EQ(eyeY, 0.0);
        ASSERT_EQ(upX, 0.0);
        ASSERT_EQ(upY, 1.0);
        ASSERT_EQ(upZ, 0.0);
        if (i >= 14) { // past the start-up wraps the angle stays within one turn
            ASSERT_GT(orbitAngle, 0.0);
            ASSERT_LE(orbitAngle, wrapAt);
        }
    }
}

TEST_F(Camera, LeftPressOrbitsAndEveryIdleCallAsksForARedraw)
{
    mouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 10, 20);
    runIdle(3);
    EXPECT_NEAR(orbitAngle, 90.0 + 3 * (angleStep - wrapAt), 1e-12);
    EXPECT_EQ(redisplays, 3);
}

TEST_F(Camera, MiddleOrRightPressStopsAndTheNextLeftPressResumes)
{
    for (int stop : { GLUT_MIDDLE_BUTTON, GLUT_RIGHT_BUTTON }) {
        initCamera();
        mouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 0, 0);
        runIdle(20);
        mouse(stop, GLUT_DOWN, 0, 0);
        const double angle = orbitAngle, x = eyeX, z = eyeZ;
        runIdle(5);
        EXPECT_EQ(orbitAngle, angle) << "stopped by button " << stop;
        EXPECT_EQ(eyeX, x);
        EXPECT_EQ(eyeZ, z);

        mouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 0, 0);
        runIdle(1);
        EXPECT_DOUBLE_EQ(orbitAngle, angle + angleStep) << "resumes where it stopped";
    }
}

TEST_F(Camera, ReleasesAndOtherButtonsChangeNothing)
{
    const int wheelUp = 3, wheelDown = 4, extra = 7;
    for (int button : { GLUT_LEFT_BUTTON, GLUT_MIDDLE_BUTTON, GLUT_RIGHT_BUTTON, wheelUp, wheelDown, extra })
        mouse(button, GLUT_UP, 0, 0);
    for (int button : { wheelUp, wheelDown, extra })
        mouse(button, GLUT_DOWN, 0, 0);
    EXPECT_EQ(idleCallback, nullptr) << "still: nothing may start the orbit";

    mouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 0, 0);
    for (int button : { GLUT_LEFT_BUTTON, GLUT_MIDDLE_BUTTON, GLUT_RIGHT_BUTTON, wheelUp, wheelDown, extra })
        mouse(button, GLUT_UP, 0, 0);
    for (int button : { wheelUp, wheelDown, extra })
        mouse(button, GLUT_DOWN, 0, 0);
    EXPECT_EQ(idleCallback, &orbitStep) << "orbiting: nothing but a middle or right press may stop it";
}
