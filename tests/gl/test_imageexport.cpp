// Pictures of the view: drawn offscreen at the size asked for and written as PNG, top row first.

#include "gl_window.h"

#include <string>

// The one place the PNG reader the GL tests share is compiled.
#define STB_IMAGE_IMPLEMENTATION
#include "png_file.h"

#include "cimageexport.h"
#include "scratch_folder.h"

namespace {

const glm::vec4 BACKGROUND(0.1f, 0.2f, 0.5f, 1.0f);


bool IsBackground(const glm::vec3 &c) { return glm::all(glm::lessThan(glm::abs(c - glm::vec3(BACKGROUND)), glm::vec3(0.01f))); }
bool IsRed(const glm::vec3 &c) { return c.r > 0.15f && c.g < 0.05f && c.b < 0.05f; }
bool IsWhitish(const glm::vec3 &c) { return c.r > 0.6f && c.g > 0.6f && c.b > 0.6f; }

class ImageExportTest : public GlDisplayTest {
protected:
    void SetUp() override
    {
        GlDisplayTest::SetUp();
        if (HasFatalFailure())
            return;
        // Oxygen below the middle, hydrogen above it.
        WriteText(folder / "oh.xyz", "2\n\nO 0 0 0\nH 0 3 0\n");
        ASSERT_TRUE(display->ReadFile(folder.Path(), folder / "oh.xyz")) << display->error_message;
    }

    void Draw(int w, int h)
    {
        glClearColor(BACKGROUND.r, BACKGROUND.g, BACKGROUND.b, BACKGROUND.a);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        display->DrawScene(w, h);
    }

    ScratchFolder folder;
    const std::function<void(int, int)> draw = [this](int w, int h) { Draw(w, h); };
};

} // namespace

TEST(ImageRows, FlipRowsReversesTheRowOrderOnly)
{
    std::vector<unsigned char> image = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    CImageExport::FlipRows(image, 3);
    EXPECT_EQ(image, (std::vector<unsigned char>{7, 8, 9, 4, 5, 6, 1, 2, 3}));
    CImageExport::FlipRows(image, 3);
    CImageExport::FlipRows(image, 1);
    EXPECT_EQ(image, (std::vector<unsigned char>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

// The picture has the size asked for, larger than the window too, the atoms where the view has
// them (hydrogen above oxygen) and the background around them.
TEST_F(ImageExportTest, WritesTheViewAtTheSizeAskedFor)
{
    for (const glm::ivec2 size : {glm::ivec2(640, 360), glm::ivec2(2560, 1440)}) {
        const std::string path = folder / ("view" + std::to_string(size.x) + ".png");
        std::string error;
        ASSERT_TRUE(CImageExport::SavePng(draw, size.x, size.y, path, error)) << error;
        const PngFile png(path);
        ASSERT_EQ(png.width, size.x);
        ASSERT_EQ(png.height, size.y);
        EXPECT_TRUE(IsBackground(png.At(0, 0))) << png.At(0, 0).r;
        EXPECT_TRUE(IsBackground(png.At(size.x - 1, size.y - 1)));
        int top_red = size.y, top_white = size.y;
        for (int y = size.y - 1; y >= 0; y--) {
            const glm::vec3 c = png.At(size.x / 2, y);
            if (IsRed(c))
                top_red = y;
            if (IsWhitish(c))
                top_white = y;
        }
        EXPECT_LT(top_white, size.y / 2) << size.x;
        EXPECT_GT(top_red, size.y / 2) << size.x;
        EXPECT_LT(top_red, size.y) << size.x;
    }
}

TEST_F(ImageExportTest, RefusesSizesTheGraphicsCannotDrawAndUnwritablePaths)
{
    std::string error;
    EXPECT_FALSE(CImageExport::SavePng(draw, 1 << 20, 100, folder / "huge.png", error));
    EXPECT_NE(error.find("1048576x100"), std::string::npos) << error;
    EXPECT_EQ(ReadText(folder / "huge.png"), "<missing>");
    EXPECT_FALSE(CImageExport::SavePng(draw, 0, 100, folder / "empty.png", error));
    EXPECT_FALSE(CImageExport::SavePng(draw, 64, 64, folder / "no/such/folder.png", error));
    EXPECT_NE(error.find("can't write"), std::string::npos) << error;
    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);
}
