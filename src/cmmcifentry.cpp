#include "cmmcifentry.h"

#include <algorithm>
#include <memory>
#include <sstream>

#include <gemmi/mmcif.hpp>
// gemmi's PDB writer (and the stb_sprintf it formats with), built here once.
#define GEMMI_WRITE_IMPLEMENTATION
#include <gemmi/to_pdb.hpp>
#undef GEMMI_WRITE_IMPLEMENTATION

#include "elements.h"

namespace MmcifEntry {

namespace {

uint32_t ElementOfGemmi(const gemmi::Element &e)
{
    const std::string symbol = e.name();
    const uint32_t idx = ElementIndexOfSymbol(symbol);
    return idx != NO_ELEMENT && symbol == SymbolOf(idx) ? idx : DUMMY_ELEMENT;
}

} // namespace

void Read(gemmi::cif::Block &block, CifReader::SRead &r)
{
    auto entry = std::make_shared<gemmi::Structure>(gemmi::make_structure_from_block(block));
    const gemmi::Structure &st = *entry;
    if (st.models.empty())
        throw CifReader::SBadCif{0, "the entry has no model"};
    for (const gemmi::Chain &chain : st.models.front().chains)
        for (const gemmi::Residue &residue : chain.residues)
            for (const gemmi::Atom &a : residue.atoms) {
                const glm::dvec3 p(a.pos.x, a.pos.y, a.pos.z);
                CifReader::CheckPosition(p, 0);
                r.xyz.push_back(p);
                r.index.push_back(ElementOfGemmi(a.element));
                r.label.push_back(a.name);
                r.occupancy.push_back(a.occ);
                r.group.push_back(static_cast<uint8_t>(a.altloc));
            }
    if (r.xyz.empty())
        throw CifReader::SBadCif{0, "the first model has no atoms"};
    if (std::all_of(r.group.begin(), r.group.end(), [](uint8_t c) { return c == 0; }))
        r.group.clear();
    r.is_periodic = st.cell.is_crystal();
    if (r.is_periodic)
        r.cell = CifReader::CellOfParameters(glm::dvec3(st.cell.a, st.cell.b, st.cell.c),
                                             glm::dvec3(st.cell.alpha, st.cell.beta, st.cell.gamma));
    r.entry = std::move(entry);
}

bool PdbText(const gemmi::Structure &entry, const std::vector<uint32_t> &origin,
             const std::vector<uint32_t> &source_index, const std::vector<glm::dvec3> &xyz,
             const std::vector<uint32_t> &index, std::string &text, std::string &failure)
{
    // Where each atom read is now: its model index, or none once deleted.
    std::vector<int64_t> now(source_index.size(), -1);
    for (size_t i = 0; i < origin.size(); ++i)
        now[origin[i]] = static_cast<int64_t>(i);
    gemmi::Structure st = entry;
    st.models.erase(st.models.begin() + 1, st.models.end());
    gemmi::Model &model = st.models.front();
    size_t read = 0;
    for (gemmi::Chain &chain : model.chains)
        for (gemmi::Residue &residue : chain.residues) {
            std::vector<gemmi::Atom> kept;
            for (gemmi::Atom &a : residue.atoms) {
                const size_t k = read++;
                if (now[k] < 0)
                    continue;
                const size_t i = static_cast<size_t>(now[k]);
                a.pos = gemmi::Position(xyz[i].x, xyz[i].y, xyz[i].z);
                if (index[i] != source_index[k])
                    a.element = gemmi::Element(SymbolOf(index[i]));
                kept.push_back(std::move(a));
            }
            residue.atoms.swap(kept);
        }
    // Residues and chains left without atoms go, and so do links to atoms deleted.
    for (gemmi::Chain &chain : model.chains)
        gemmi::remove_empty_children(chain);
    gemmi::remove_empty_children(model);
    st.connections.erase(std::remove_if(st.connections.begin(), st.connections.end(),
                                        [&](const gemmi::Connection &c) {
                                            return !model.find_atom(c.partner1) || !model.find_atom(c.partner2);
                                        }),
                         st.connections.end());
    std::ostringstream out;
    try {
        gemmi::write_pdb(st, out);
    } catch (const std::exception &e) {
        failure = e.what();
        return false;
    }
    text = out.str();
    return true;
}

} // namespace MmcifEntry
