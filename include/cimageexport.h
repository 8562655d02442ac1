#ifndef CIMAGEEXPORT_H
#define CIMAGEEXPORT_H

#include <functional>
#include <string>
#include <vector>

// Pictures of the view at any size: the scene is drawn into an offscreen framebuffer of that size
// and written as PNG. Needs the OpenGL context; leaves the window's framebuffer bound.
class CImageExport {
public:
    // Draws with draw(w, h) into a w x h framebuffer with depth and writes it to path. False when
    // the size is beyond what the GL offers or the file can't be written; error says why.
    static bool SavePng(const std::function<void(int, int)> &draw, int w, int h, const std::string &path,
                        std::string &error);
    // Reverses the order of the rows of an image of `height` rows: OpenGL reads from the bottom,
    // image files start at the top.
    static void FlipRows(std::vector<unsigned char> &pixels, int height);
};

#endif
