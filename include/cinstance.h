#ifndef CINSTANCE_H
#define CINSTANCE_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>
#include <glm/glm.hpp>
#include <glm/gtc/type_precision.hpp>

#include "cpalette.h"

// Per-instance records of the batched drawing passes, built on the CPU from the model and
// uploaded as they stand into buffer textures, which the vertex stages read by instance number
// in whole RGBA texels. Atoms take 16 + 8 bytes, bonds and glyphs 32; the shaders' texture lists
// describe them.

// One atom's colours as 8-bit RGBA: element colour, then pick colour.
struct CAtomColours {
    uint8_t colour[4];
    uint8_t pick[4];
};

// One atom drawn as a point while culling: its record, colours, the pixels it may show in (first
// and last column and row) and its index, as the point program reads them in order.
struct CAtomPoint {
    glm::vec4 atom;
    CAtomColours colours;
    glm::u16vec4 pixels;
    uint32_t id;
};

// One bond: mid-point and the vector from it to one end; in w the element radius of the atom at
// the other end (centre - half) and at that end (centre + half), 0 where no atom ends it (the
// cell face of a half bond).
struct CBondInstance {
    glm::vec4 centre;
    glm::vec4 half;
};

// One glyph of a label: the atom centre and element radius, then the pen position in glyph pixels
// from the label's start and the character code (z, w unused).
struct CGlyphInstance {
    glm::vec4 anchor;
    glm::vec4 glyph;
};

// Advance in whole glyph pixels of each character code 0-127; negative for a code without glyph.
using CGlyphAdvances = std::array<int, 128>;

// An element colour or pick colour as the 8-bit bytes the framebuffer would store.
std::array<uint8_t, 4> ColourBytes(const glm::vec3 &c);

// Each atom's centre and element radius, and its colours. Elements past the table draw as the
// dummy element.
void BuildAtomInstances(const std::vector<glm::vec3> &xyz, const std::vector<uint32_t> &elements, CPalette &pick,
                        std::vector<glm::vec4> &centres, std::vector<CAtomColours> &colours);

// Marks the selected atoms (element colour alpha 0, drawn in the selection colour) and hides the
// hidden ones (radius 0: no pixel drawn or picked); per-atom lists, empty for none.
void MarkAtoms(const std::vector<uint8_t> &selected, const std::vector<uint8_t> &hidden,
               std::vector<glm::vec4> &centres, std::vector<CAtomColours> &colours);

// Writes to `out` the point of each atom `drawn`, shown in `pixels` (one each), from every atom's
// record and colours.
void GatherAtomPoints(const std::vector<glm::vec4> &atoms, const std::vector<CAtomColours> &colours,
                      const std::vector<uint32_t> &drawn, const std::vector<glm::u16vec4> &pixels, CAtomPoint *out);

// Gives each bond the radii of the atoms at its ends (see CBondInstance); ends[k] are the atoms of
// bonds[k], atoms[i] atom i's centre and radius. An atom counts as ending a bond when its centre lies
// at that end.
void SetBondEndRadii(const std::vector<glm::vec4> &atoms, const std::vector<glm::uvec2> &ends,
                     std::vector<CBondInstance> &bonds);

// Drops the bonds that end on a hidden atom; ends[k] are the atoms of bonds[k].
void DropHiddenBonds(const std::vector<glm::uvec2> &ends, const std::vector<uint8_t> &hidden,
                     std::vector<CBondInstance> &bonds);

// The first `count` bonds (mid-point, azimuth and polar angle of the direction, length).
void BuildBondInstances(const std::vector<glm::vec3> &mid, const std::vector<glm::vec2> &ang,
                        const std::vector<float> &length, size_t count, std::vector<CBondInstance> &out);

// Bonds given as segments from `from[k]` to `to[k]` (the halves of bonds across a cell face),
// appended to `out`.
void AppendSegmentInstances(const std::vector<glm::vec3> &from, const std::vector<glm::vec3> &to,
                            std::vector<CBondInstance> &out);

// The text of atom i's label: its index alone without symbols, else the symbol, followed by the
// index when indices are shown too (O12).
std::string LabelText(uint32_t i, uint32_t element, bool show_symbol, bool show_index);

// The glyphs of every shown atom's label (`hidden` as for MarkAtoms); characters without a glyph
// are skipped and do not advance.
void BuildGlyphInstances(const std::vector<glm::vec3> &xyz, const std::vector<uint32_t> &elements,
                         bool show_symbol, bool show_index, const CGlyphAdvances &advances,
                         std::vector<CGlyphInstance> &out, const std::vector<uint8_t> &hidden = {});

#endif
