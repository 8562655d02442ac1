#ifndef CSCENEKEY_H
#define CSCENEKEY_H

#include <cstddef>
#include <cstdint>
#include <tuple>

#include <glm/glm.hpp>

class CDisplay;

// Everything the window's scene is drawn from, read off the display: two equal keys give the same
// picture, so a picture drawn for one can be shown again for the other. Deep data enters through
// the revisions that its edits count (the atoms, the selection, the hidden atoms); the rest by
// value. A value left out here would show a stale picture, so when in doubt a value goes in.
class CSceneKey {
public:
    CSceneKey() = default;
    // The scene of `atom` (may be null) over `background` in a framebuffer of w x h pixels.
    CSceneKey(const CDisplay *atom, const glm::vec4 &background, int w, int h);

    bool operator==(const CSceneKey &o) const;

private:
    int width = 0, height = 0;
    glm::vec4 background{0.0f}, pick_clear{0.0f};
    bool is_atom = false, is_visible = false, is_smooth = false, is_cull = false, is_fit_pending = false;
    bool is_show_bond = false, is_bond_eval = false, is_show_box = false, is_periodic = false;
    bool is_show_label = false, is_show_symbol = false, is_show_index = false;
    bool is_show_highlight = false, is_atom_selected = false;
    uint32_t selected_atom = 0, u_bonds = 0;
    uint64_t u_structure = 0, u_selection = 0, u_hidden = 0;
    size_t u_atoms = 0;
    float atom_scale = 0.0f, view_zoom = 0.0f, fit_width = 0.0f, font_scale = 0.0f, pixel_scale = 0.0f;
    int label_pixels = 0;
    glm::vec2 view_offset{0.0f};
    glm::vec3 axis_position{0.0f};
    glm::mat4 view{0.0f}, model{0.0f};
    glm::dmat3 cell_box{0.0};
    glm::vec3 cell_corner{0.0f};

    auto Tie() const
    {
        return std::tie(width, height, background, pick_clear, is_atom, is_visible, is_smooth, is_cull,
                        is_fit_pending, is_show_bond, is_bond_eval, is_show_box, is_periodic, is_show_label,
                        is_show_symbol, is_show_index, is_show_highlight, is_atom_selected, selected_atom, u_bonds,
                        u_structure, u_selection, u_hidden, u_atoms, atom_scale, view_zoom, fit_width, font_scale,
                        pixel_scale, label_pixels, view_offset, axis_position, view, model, cell_box, cell_corner);
    }
};

#endif
