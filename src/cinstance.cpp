#include "cinstance.h"

#include <algorithm>
#include <cmath>

#include "cmesh.h"
#include "elements.h"

namespace {

static_assert(sizeof(CAtomColours) == 8 && sizeof(CAtomPoint) == 36 && sizeof(CBondInstance) == 32 &&
                  sizeof(CGlyphInstance) == 32,
              "instance records are uploaded as they stand");

size_t Common(size_t a, size_t b) { return std::min(a, b); }

bool Flagged(const std::vector<uint8_t> &flags, size_t i) { return i < flags.size() && flags[i] != 0; }

} // namespace

std::array<uint8_t, 4> ColourBytes(const glm::vec3 &c)
{
    const glm::vec3 bytes = glm::round(glm::clamp(c, 0.0f, 1.0f) * 255.0f);
    return {static_cast<uint8_t>(bytes.r), static_cast<uint8_t>(bytes.g), static_cast<uint8_t>(bytes.b), 255};
}

void BuildAtomInstances(const std::vector<glm::vec3> &xyz, const std::vector<uint32_t> &elements, CPalette &pick,
                        std::vector<glm::vec4> &centres, std::vector<CAtomColours> &colours)
{
    const size_t n = Common(xyz.size(), elements.size());
    centres.resize(n);
    colours.resize(n);
    for (size_t i = 0; i < n; i++) {
        const glm::vec4 &element = atom_rgbs[ElementOrDummy(elements[i])];
        const std::array<uint8_t, 4> colour = ColourBytes(glm::vec3(element));
        const std::array<uint8_t, 4> code = ColourBytes(pick.get_index(static_cast<unsigned int>(i)));
        centres[i] = glm::vec4(xyz[i], element.w);
        std::copy(colour.begin(), colour.end(), colours[i].colour);
        std::copy(code.begin(), code.end(), colours[i].pick);
    }
}

void MarkAtoms(const std::vector<uint8_t> &selected, const std::vector<uint8_t> &hidden,
               std::vector<glm::vec4> &centres, std::vector<CAtomColours> &colours)
{
    for (size_t i = 0; i < centres.size() && i < colours.size(); i++) {
        if (Flagged(selected, i))
            colours[i].colour[3] = 0;
        if (Flagged(hidden, i))
            centres[i].w = 0.0f;
    }
}

void GatherAtomPoints(const std::vector<glm::vec4> &atoms, const std::vector<CAtomColours> &colours,
                      const std::vector<uint32_t> &drawn, const std::vector<glm::u16vec4> &pixels, CAtomPoint *out)
{
    for (size_t k = 0; k < drawn.size(); ++k)
        out[k] = {atoms[drawn[k]], colours[drawn[k]], pixels[k], drawn[k]};
}

void SetBondEndRadii(const std::vector<glm::vec4> &atoms, const std::vector<glm::uvec2> &ends,
                     std::vector<CBondInstance> &bonds)
{
    // Bond ends are built from the same float positions as the atoms; the slack only absorbs the
    // rounding of mid-point and half vector.
    const float slack = 1e-4f;
    auto radius_at = [&](const glm::vec3 &end, const glm::uvec2 &pair) {
        for (const uint32_t i : {pair.x, pair.y})
            if (i < atoms.size() && glm::distance(glm::vec3(atoms[i]), end) <= slack * (1.0f + glm::length(end)))
                return atoms[i].w;
        return 0.0f;
    };
    for (size_t k = 0; k < bonds.size() && k < ends.size(); k++) {
        const glm::vec3 mid(bonds[k].centre), half(bonds[k].half);
        bonds[k].centre.w = radius_at(mid - half, ends[k]);
        bonds[k].half.w = radius_at(mid + half, ends[k]);
    }
}

void DropHiddenBonds(const std::vector<glm::uvec2> &ends, const std::vector<uint8_t> &hidden,
                     std::vector<CBondInstance> &bonds)
{
    if (hidden.empty())
        return;
    size_t w = 0;
    for (size_t k = 0; k < bonds.size(); k++)
        if (k >= ends.size() || (!Flagged(hidden, ends[k].x) && !Flagged(hidden, ends[k].y)))
            bonds[w++] = bonds[k];
    bonds.resize(w);
}

void BuildBondInstances(const std::vector<glm::vec3> &mid, const std::vector<glm::vec2> &ang,
                        const std::vector<float> &length, size_t count, std::vector<CBondInstance> &out)
{
    const size_t n = std::min({count, mid.size(), ang.size(), length.size()});
    out.resize(n);
    for (size_t k = 0; k < n; k++) {
        const float half_length = static_cast<float>(0.5 * static_cast<double>(length[k]));
        const glm::vec3 axis(BondRotation(ang[k]) * glm::vec4(0.0f, 0.0f, 1.0f, 0.0f));
        out[k] = {glm::vec4(mid[k], 0.0f), glm::vec4(axis * half_length, 0.0f)};
    }
}

void AppendSegmentInstances(const std::vector<glm::vec3> &from, const std::vector<glm::vec3> &to,
                            std::vector<CBondInstance> &out)
{
    for (size_t k = 0; k < from.size() && k < to.size(); k++)
        out.push_back({glm::vec4((from[k] + to[k]) * 0.5f, 0.0f), glm::vec4((to[k] - from[k]) * 0.5f, 0.0f)});
}

std::string LabelText(uint32_t i, uint32_t element, bool show_symbol, bool show_index)
{
    if (!show_symbol)
        return std::to_string(i);
    if (show_index)
        return SymbolOf(element) + std::to_string(i);
    return SymbolOf(element);
}

void BuildGlyphInstances(const std::vector<glm::vec3> &xyz, const std::vector<uint32_t> &elements,
                         bool show_symbol, bool show_index, const CGlyphAdvances &advances,
                         std::vector<CGlyphInstance> &out, const std::vector<uint8_t> &hidden)
{
    out.clear();
    const size_t n = Common(xyz.size(), elements.size());
    for (size_t i = 0; i < n; i++) {
        if (Flagged(hidden, i))
            continue;
        const uint32_t e = ElementOrDummy(elements[i]);
        const glm::vec4 anchor(xyz[i], atom_rgbs[e].w);
        int pen = 0;
        for (const char c : LabelText(static_cast<uint32_t>(i), e, show_symbol, show_index)) {
            const unsigned char code = static_cast<unsigned char>(c);
            if (code >= advances.size() || advances[code] < 0)
                continue;
            out.push_back({anchor, glm::vec4(static_cast<float>(pen), static_cast<float>(code), 0.0f, 0.0f)});
            pen += advances[code];
        }
    }
}
