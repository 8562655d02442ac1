#include "cpalette.h"

namespace {

// The pick pass clears to white, so this index and every one above it means "no atom".
constexpr uint32_t NO_ATOM_INDEX = 0xFFFFFF;
const glm::vec3 NO_ATOM_COLOR(1.0f);

} // namespace

CPalette::CPalette() : _ipalette(0) {}

void CPalette::set_color(unsigned int u)
{
    _ipalette = u;
    w0 = 6.0;
}

void CPalette::update_palette_index()
{
    _index_palette.clear();
    _index_palette.resize(static_cast<size_t>(_lvls) + 1);
    id_rgb = glm::vec3(0.0f);
    for (size_t k = 0; k < _index_palette.size(); ++k) {
        // Past the last code the counter would spill out of the blue byte and, once the frame
        // buffer clamps it, read back as some other atom: such atoms become unpickable instead.
        _index_palette[k] = k < NO_ATOM_INDEX ? id_rgb / 255.0f : NO_ATOM_COLOR;
        id_rgb.x += 1.0f;
        if (id_rgb.x > 255.0f) {
            id_rgb.x = 0.0f;
            id_rgb.y += 1.0f;
            if (id_rgb.y > 255.0f) {
                id_rgb.y = 0.0f;
                id_rgb.z += 1.0f;
            }
        }
    }
}

glm::vec3 CPalette::get_index(unsigned int c)
{
    return c < _index_palette.size() ? _index_palette[c] : NO_ATOM_COLOR;
}

uint32_t CPalette::get_index_rgb(int r, int g, int b)
{
    auto channel = [](int v) { return v > 0 ? static_cast<uint32_t>(v) : 0u; };
    return channel(b) * 65536u + channel(g) * 256u + channel(r);
}
