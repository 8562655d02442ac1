#include "cpick.h"

#include <algorithm>
#include <cmath>

glm::ivec2 PickPixel(int x, int y, const int viewport[4], glm::vec2 scale)
{
    const int column = static_cast<int>(std::floor(static_cast<float>(x) * scale.x));
    const int row_from_top = static_cast<int>(std::floor(static_cast<float>(y) * scale.y));
    const int last_column = std::max(viewport[2] - 1, 0);
    const int last_row = std::max(viewport[3] - 1, 0);
    return glm::ivec2(std::clamp(column, 0, last_column), std::clamp(last_row - row_from_top, 0, last_row));
}

uint32_t PickedAtom(uint32_t code, size_t atom_count)
{
    return code < atom_count && code < PICK_NO_ATOM ? code : PICK_NO_ATOM;
}
