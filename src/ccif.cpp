#include "ccif.h"

#include <filesystem>

#include <gemmi/model.hpp>

#include "ccifp1writer.h"
#include "ccifreader.h"
#include "cmmcifentry.h"

glm::dmat3 CCif::CellOfParameters(const glm::dvec3 &lengths, const glm::dvec3 &angles)
{
    return CifReader::CellOfParameters(lengths, angles);
}

uint32_t CCif::ElementOfSite(std::string_view type_symbol, std::string_view label)
{
    return CifReader::ElementOfSite(type_symbol, label);
}

uint32_t CCif::SiteOf(uint32_t i) const { return i < v_atom_origin.size() ? RecordOf(v_atom_origin[i]) : NO_TEMPLATE; }

std::string CCif::LabelOf(uint32_t i) const
{
    const uint32_t site = SiteOf(i);
    return site < v_label.size() ? v_label[site] : "";
}

double CCif::OccupancyOf(uint32_t i) const
{
    const uint32_t site = SiteOf(i);
    return site < v_occupancy.size() ? v_occupancy[site] : 1.0;
}

std::string CCif::WhyNoSupercell() const { return entry ? AsymmetricUnitOf(entry->spacegroup_hm) : ""; }

bool CCif::ReadFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index)
{
    CCif prototype;
    prototype.block_wanted = block_wanted;
    if (!ReadInto(*this, d, f, xyz, index, std::move(prototype)))
        return false;
    source_path = f;
    return true;
}

std::string CCif::BlockEntry(size_t k) const
{
    if (k >= v_block_names.size())
        return std::string();
    const bool is_titled = k < v_block_titles.size() && !v_block_titles[k].empty();
    return is_titled ? v_block_names[k] + "  " + v_block_titles[k] : v_block_names[k];
}

bool CCif::Parse(const std::string &, CTextFile &file, std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index)
{
    const std::string text = file.TakeText();
    CifReader::SRead r;
    CifReader::SBadCif bad;
    if (!CifReader::Read(text, block_wanted, r, bad))
        return bad.line == 0 ? Fail(bad.reason) : Fail(bad.line, bad.reason);
    v_block_names = std::move(r.block_names);
    v_block_titles = std::move(r.block_titles);
    block_name = std::move(r.block_name);
    is_macromolecular = r.is_macromolecular;
    cell_xyz = r.cell;
    is_periodic = r.is_periodic;
    if (const char *fault = is_periodic ? CellFault() : nullptr)
        return Fail(fault);
    symmetry_source = r.symmetry;
    u_operations = static_cast<uint32_t>(r.operations);
    u_merged = static_cast<uint32_t>(r.merged);
    if (r.symmetry == "none" && !is_macromolecular && is_periodic)
        notice = "block " + block_name + " gives no symmetry operations, Hall symbol or space-group name: read as P1";
    if (u_merged > 0) {
        notice += (notice.empty() ? "" : "; ") + std::to_string(u_merged) + (u_merged == 1 ? " atom" : " atoms") +
                  " within ";
        AppendExact(notice, CifReader::MERGE_DISTANCE);
        notice += " angstrom of another of the same element merged into it";
    }
    entry = std::move(r.entry);
    v_label = std::move(r.label);
    v_occupancy = std::move(r.occupancy);
    v_atom_altloc = std::move(r.group);
    xyz = std::move(r.xyz);
    index = std::move(r.index);
    return true;
}

std::string CCif::P1Text(const std::vector<glm::dvec3> &xyz, const std::vector<uint32_t> &index) const
{
    const bool is_edited_read = v_atom_origin.size() == xyz.size();
    CCifP1Writer writer(source_path.empty() ? block_name : source_path, is_periodic ? &SavedCell() : nullptr,
                        !v_occupancy.empty() && is_edited_read);
    for (uint32_t i = 0; i < xyz.size(); ++i) {
        // A re-typed atom, or a new one, takes its symbol for label; a supercell's copy takes its
        // site's, made its own by the writer.
        const uint32_t site = is_edited_read ? SiteOf(i) : NO_TEMPLATE;
        const bool is_site = site < v_source_index.size() && index[i] == v_source_index[site];
        writer.AddSite(is_site ? LabelOf(i) : std::string(), index[i], xyz[i], OccupancyOf(i));
    }
    return writer.TakeText();
}

bool CCif::SaveFile(std::string, std::string f, std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index)
{
    if (!CheckAtoms(xyz, index))
        return false;
    std::error_code ec;
    if (!source_path.empty() && std::filesystem::equivalent(f, source_path, ec))
        return Fail("a CIF is not rewritten in place, since its symmetry would be expanded: save it under another name");
    return WriteText(f, P1Text(xyz, index));
}

bool CCif::SaveEntryAsPdb(const std::string &f, const std::vector<glm::dvec3> &xyz,
                          const std::vector<uint32_t> &index)
{
    if (!entry)
        return Fail("only a macromolecular entry read from a CIF keeps its chains and residues in PDB");
    if (!CheckAtoms(xyz, index))
        return false;
    if (v_atom_origin.size() != xyz.size())
        return Fail("the atoms are not those of the entry read");
    std::string text, failure;
    if (!MmcifEntry::PdbText(*entry, *this, v_source_index, xyz, index, is_cell_edited ? &edited_cell : nullptr, text,
                             failure))
        return Fail("the entry can't be written as PDB: " + failure);
    return WriteText(f, text);
}
