#include "coverlap.h"

#include <algorithm>
#include <cmath>

#include "catoms.h"
#include "elements.h"

namespace {

// The shortest vector from q to p, through the cell's periodic axes when there is a cell.
glm::dvec3 ShortestStep(const CAtoms &atoms, const glm::dvec3 &p, const glm::dvec3 &q, const glm::dmat3 &inverse)
{
    glm::dvec3 d = p - q;
    if (!atoms.is_periodic)
        return d;
    glm::dvec3 f = inverse * d;
    for (int a = 0; a < 3; ++a)
        if (atoms.is_periodic_axis[a])
            f[a] -= std::round(f[a]);
    return atoms.m_cell_box * f;
}

double RadiusOf(uint32_t idx)
{
    return static_cast<double>(atom_rgbs[ElementOrDummy(idx)].w);
}

} // namespace

uint32_t COverlap::AtomOverlapping(const CAtoms &atoms, uint32_t u)
{
    const size_t n = std::min(atoms.v_real_xyz.size(), atoms.v_atom_index.size());
    if (u >= n)
        return NONE;
    const bool is_cell = atoms.is_periodic && glm::determinant(atoms.m_cell_box) != 0.0;
    const glm::dmat3 inverse = is_cell ? glm::inverse(atoms.m_cell_box) : glm::dmat3(1.0);
    const glm::dvec3 p = atoms.v_real_xyz[u];
    const double r = RadiusOf(atoms.v_atom_index[u]);
    for (size_t k = 0; k < n; ++k) {
        if (k == u)
            continue;
        const double reach = 0.5 * std::min(r, RadiusOf(atoms.v_atom_index[k]));
        const glm::dvec3 d = is_cell ? ShortestStep(atoms, p, atoms.v_real_xyz[k], inverse) : p - atoms.v_real_xyz[k];
        if (glm::dot(d, d) < reach * reach)
            return static_cast<uint32_t>(k);
    }
    return NONE;
}

std::string COverlap::Note(const CAtoms &atoms, uint32_t u)
{
    const uint32_t k = AtomOverlapping(atoms, u);
    if (k == NONE)
        return std::string();
    const auto name = [&](uint32_t i) {
        return "atom " + std::to_string(i) + " (" + SymbolOf(ElementOrDummy(atoms.v_atom_index[i])) + ")";
    };
    std::string text = name(u) + " lies on " + name(k);
    text[0] = 'A';
    return text;
}
