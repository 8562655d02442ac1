#include "cscenekey.h"

#include "cdisplay.h"

CSceneKey::CSceneKey(const CDisplay *atom, const glm::vec4 &background_colour, int w, int h)
    : width(w), height(h), background(background_colour), is_atom(atom != nullptr)
{
    if (atom == nullptr)
        return;
    const CDisplay &a = *atom;
    pick_clear = a.CColor;
    is_visible = a.is_visible;
    is_smooth = a.is_smooth;
    is_cull = a.is_cull;
    is_fit_pending = a.is_fit_pending;
    is_show_bond = a.is_show_bond;
    is_bond_eval = a.is_bond_eval;
    is_show_box = a.is_show_box;
    is_periodic = a.is_periodic;
    is_show_label = a.is_show_label;
    is_show_symbol = a.is_show_symbol;
    is_show_index = a.is_show_index;
    is_show_highlight = a.is_show_highlight;
    is_atom_selected = a.is_atom_selected;
    selected_atom = a.selected_atom;
    u_bonds = a.i_number_of_bonds;
    u_structure = a.u_revision;
    u_selection = a.selection.Revision();
    u_hidden = a.u_hidden_revision;
    u_atoms = a.v_float_raw_xyz.size();
    atom_scale = a.atom_scale;
    view_zoom = a.view_zoom;
    fit_width = a.fit_width;
    font_scale = a.font_scale;
    pixel_scale = a.pixel_scale;
    label_pixels = a.label_pixels;
    view_offset = a.view_offset;
    axis_position = a.axis_position;
    view = a.track.View;
    model = a.ModelMatrix();
    cell_box = a.m_cell_box;
    cell_corner = a.CellCorner();
}

bool CSceneKey::operator==(const CSceneKey &o) const { return Tie() == o.Tie(); }
