#include "cmmcifentry.h"

#include <algorithm>
#include <memory>
#include <sstream>

#include <gemmi/mmcif.hpp>
// gemmi's PDB writer (and the stb_sprintf it formats with), built here once.
#define GEMMI_WRITE_IMPLEMENTATION
#include <gemmi/to_pdb.hpp>
#undef GEMMI_WRITE_IMPLEMENTATION

#include "cellgeometry.h"
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

namespace {

// Each atom read, with its chain and residue (the residue without its atoms), as the entry has it.
struct SRecord {
    const gemmi::Chain *chain;
    const gemmi::Residue *residue;
    const gemmi::Atom *atom;
};

std::vector<SRecord> Records(const gemmi::Model &model)
{
    std::vector<SRecord> records;
    for (const gemmi::Chain &chain : model.chains)
        for (const gemmi::Residue &residue : chain.residues)
            for (const gemmi::Atom &a : residue.atoms)
                records.push_back({&chain, &residue, &a});
    return records;
}

// The model's atoms in place of the atoms read; those deleted go.
void PlaceReadAtoms(gemmi::Model &model, const std::vector<int64_t> &now, const std::vector<uint32_t> &source_index,
                    const std::vector<glm::dvec3> &xyz, const std::vector<uint32_t> &index)
{
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
}

// Added atoms after the chains read: a copy takes its template's record into a chain of copies
// (a new chain each time the templates start over, as a supercell's images do), each new atom is
// a HETATM residue "UNL" of its own in a chain "X".
void AppendAddedAtoms(gemmi::Model &model, const std::vector<SRecord> &records, const CEditJournal &journal,
                      const std::vector<glm::dvec3> &xyz, const std::vector<uint32_t> &index)
{
    uint32_t last = CEditJournal::NO_TEMPLATE;
    bool last_new = false;
    for (size_t i = 0; i < journal.v_atom_origin.size(); ++i) {
        const uint32_t origin = journal.v_atom_origin[i];
        if (origin < journal.AtomsRead())
            continue;
        const uint32_t t = journal.RecordOf(origin);
        const bool is_copy = t < records.size();
        gemmi::Atom atom = is_copy ? *records[t].atom : gemmi::Atom();
        if (!is_copy) {
            atom.name = SymbolOf(index[i]);
            atom.occ = 1.0f;
            atom.b_iso = 0.0f;
        }
        atom.pos = gemmi::Position(xyz[i].x, xyz[i].y, xyz[i].z);
        atom.element = gemmi::Element(SymbolOf(index[i]));
        const bool same_chain = is_copy ? last < records.size() && t > last && records[t].chain == records[last].chain
                                        : last_new;
        if (!same_chain)
            model.chains.emplace_back(is_copy ? records[t].chain->name : "X");
        gemmi::Chain &chain = model.chains.back();
        if (!same_chain || !is_copy || records[t].residue != records[last].residue) {
            gemmi::Residue residue = is_copy ? gemmi::Residue(*records[t].residue) : gemmi::Residue();
            residue.atoms.clear();
            if (!is_copy) {
                residue.name = "UNL";
                residue.het_flag = 'H';
                residue.seqid = gemmi::SeqId(static_cast<int>(chain.residues.size() + 1), ' ');
            }
            chain.residues.push_back(std::move(residue));
        }
        chain.residues.back().atoms.push_back(std::move(atom));
        last = is_copy ? t : CEditJournal::NO_TEMPLATE;
        last_new = !is_copy;
    }
}

} // namespace

bool PdbText(const gemmi::Structure &entry, const CEditJournal &journal, const std::vector<uint32_t> &source_index,
             const std::vector<glm::dvec3> &xyz, const std::vector<uint32_t> &index, const glm::dmat3 *cell,
             std::string &text, std::string &failure)
{
    // Where each atom read is now: its model index, or none once deleted.
    std::vector<int64_t> now(source_index.size(), -1);
    for (size_t i = 0; i < journal.v_atom_origin.size(); ++i)
        if (journal.v_atom_origin[i] < now.size())
            now[journal.v_atom_origin[i]] = static_cast<int64_t>(i);
    gemmi::Structure st = entry;
    st.models.erase(st.models.begin() + 1, st.models.end());
    gemmi::Model &model = st.models.front();
    PlaceReadAtoms(model, now, source_index, xyz, index);
    if (!journal.v_added_template.empty())
        AppendAddedAtoms(model, Records(entry.models.front()), journal, xyz, index);
    if (cell != nullptr) {
        glm::dvec3 lengths, angles;
        CellParameters(*cell, lengths, angles);
        st.cell.set(lengths.x, lengths.y, lengths.z, angles.x, angles.y, angles.z);
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
