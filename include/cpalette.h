#ifndef CPALETTE_H
#define CPALETTE_H

#include <cstdint>
#include <vector>
#include <glm/glm.hpp>

// Colour code of atom indices for picking: atom k is drawn in a flat colour whose 8-bit red,
// green and blue channels are the three low bytes of k; white means "no atom".
class CPalette {
public:
    CPalette();

    uint32_t xcells, ycells;
    uint32_t _lvls;
    uint32_t _ipalette;
    double xdelta1, ydelta1, xdelta2, ydelta2;
    double y0, y1;
    double x0, x1, x2, x3, x4, x5;
    double w0;
    double dz;
    double zmin, zmax;
    glm::vec3 rgb, cf1, cf2;
    glm::vec3 id_rgb;
    std::vector<glm::vec3> _color_palette;
    std::vector<glm::vec3> _index_palette;

    void set_color(unsigned int u);
    // Rebuilds the pick colours of indices 0 to _lvls.
    void update_palette_index();
    // Pick colour of index c; white (no atom) when c has no entry.
    glm::vec3 get_index(unsigned int c);
    // Index encoded by an 8-bit colour read back from the pick pass.
    uint32_t get_index_rgb(int r, int g, int b);
};

#endif
