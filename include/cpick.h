#ifndef CPICK_H
#define CPICK_H

#include <cstddef>
#include <cstdint>
#include <glm/glm.hpp>

// The arithmetic of a pick, apart from the GL calls that draw and read the code image.

// What a pick that found no atom leaves in selected_atom; also the code of the white background.
inline constexpr uint32_t PICK_NO_ATOM = 0xFFFFFF;

// The framebuffer pixel under a pointer at window position (x, y), origin at the top left, in a
// viewport {x, y, width, height} as GL_VIEWPORT gives it. Framebuffer rows count from the bottom;
// scale is framebuffer pixels per window unit (1 unless the display scales the window). Pointers
// outside the viewport are clamped to its edge.
glm::ivec2 PickPixel(int x, int y, const int viewport[4], glm::vec2 scale = glm::vec2(1.0f));

// The atom a decoded pick colour names: the code itself when it is an index of one of the
// atom_count atoms, else PICK_NO_ATOM (the white background, any code past the last atom, and
// the codes from white up, which the palette cannot give an atom).
uint32_t PickedAtom(uint32_t code, size_t atom_count);

#endif
