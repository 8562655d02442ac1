#ifndef PNG_FILE_H
#define PNG_FILE_H

#include <string>
#include <vector>

#include <glm/glm.hpp>
#include <stb/stb_image.h>

// A PNG file as read back for a test: RGB bytes, row 0 at the top; empty when it cannot be read.
struct PngFile {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;

    explicit PngFile(const std::string &path)
    {
        int channels = 0;
        unsigned char *data = stbi_load(path.c_str(), &width, &height, &channels, 3);
        if (data != nullptr)
            rgb.assign(data, data + static_cast<size_t>(width) * height * 3);
        stbi_image_free(data);
    }

    glm::ivec3 Bytes(int x, int y) const
    {
        const size_t k = (static_cast<size_t>(y) * width + x) * 3;
        return glm::ivec3(rgb[k], rgb[k + 1], rgb[k + 2]);
    }
    glm::vec3 At(int x, int y) const { return glm::vec3(Bytes(x, y)) / 255.0f; }

    template <typename Test>
    size_t Count(Test test) const
    {
        size_t n = 0;
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++)
                n += test(Bytes(x, y)) ? 1 : 0;
        return n;
    }
};

#endif
