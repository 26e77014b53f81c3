#include "gl_harness.h"
#include "camera.h"
#include "scene.h"

#include <GL/freeglut.h>
#include <gtest/gtest.h>
#include <stb/stb_image_write.h>

TEST(Render, Dump) {
    renderFrame();
    std::vector<unsigned char> px(500*500*3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0,0,500,500,GL_RGB,GL_UNSIGNED_BYTE,px.data());
    stbi_flip_vertically_on_write(1);
    stbi_write_png("/tmp/frame0.png",500,500,3,px.data(),1500);
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!GTEST_FLAG_GET(list_tests)) // listing the tests at build time needs no display
        openViewerWindow(&argc, argv);
    return RUN_ALL_TESTS();
}
