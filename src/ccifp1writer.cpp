#include "ccifp1writer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

#include "ccifreader.h"
#include "cstructurefile.h"
#include "elements.h"

namespace {

// A data block name of the file name: letters, digits and a few marks.
std::string BlockNameOf(const std::string &path)
{
    std::string name = std::filesystem::path(path).stem().string();
    for (char &c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.')
            c = '_';
    return name.empty() ? "structure" : name;
}

// Cell lengths and angles of a cell matrix.
void CellParameters(const glm::dmat3 &cell, glm::dvec3 &lengths, glm::dvec3 &angles)
{
    for (int k = 0; k < 3; ++k)
        lengths[k] = glm::length(cell[k]);
    auto angle = [&](int i, int j) {
        return glm::degrees(std::acos(std::clamp(glm::dot(cell[i], cell[j]) / (lengths[i] * lengths[j]), -1.0, 1.0)));
    };
    angles = glm::dvec3(angle(1, 2), angle(0, 2), angle(0, 1));
}

} // namespace

CCifP1Writer::CCifP1Writer(const std::string &name, const glm::dmat3 *cell, bool has_occupancy)
    : is_occupancy(has_occupancy)
{
    text = "data_" + BlockNameOf(name) + "\n";
    if (cell != nullptr) {
        glm::dvec3 lengths, angles;
        CellParameters(*cell, lengths, angles);
        for (int k = 0; k < 3; ++k) {
            text.append(CifReader::LENGTH_TAGS[k]).append(" ");
            CStructureFile::AppendExact(text, lengths[k]);
            text += '\n';
        }
        for (int k = 0; k < 3; ++k) {
            text.append(CifReader::ANGLE_TAGS[k]).append(" ");
            CStructureFile::AppendExact(text, angles[k]);
            text += '\n';
        }
        text += "_space_group_name_H-M_alt 'P 1'\nloop_\n_space_group_symop_operation_xyz\n'x, y, z'\n";
        inverse = glm::inverse(*cell);
    }
    text += "loop_\n_atom_site_label\n_atom_site_type_symbol\n";
    for (const char *tag : cell != nullptr ? CifReader::FRACT_TAGS : CifReader::CARTN_TAGS)
        text.append(tag).append("\n");
    if (is_occupancy)
        text += "_atom_site_occupancy\n";
}

// A bare symbol is numbered from 1 ("Na1"), a label from its second use ("Na1_2"), skipping the
// labels written already.
std::string CCifP1Writer::UniqueLabel(const std::string &label, const std::string &symbol)
{
    const bool numbered = label == symbol;
    for (size_t &n = seen_labels[label];;) {
        ++n;
        std::string candidate = numbered ? label + std::to_string(n) : n > 1 ? label + "_" + std::to_string(n) : label;
        if (written_labels.insert(candidate).second)
            return candidate;
    }
}

void CCifP1Writer::AddSite(std::string label, uint32_t element, const glm::dvec3 &p, double occupancy)
{
    const std::string symbol = SymbolOf(element);
    if (label.empty())
        label = symbol;
    for (char &c : label)
        if (CTextFile::IsSpace(c) || c == '\'' || c == '"' || c == '#')
            c = '_';
    text.append(UniqueLabel(label, symbol)).append(" ").append(symbol);
    const glm::dvec3 f = inverse * p;
    for (int k = 0; k < 3; ++k) {
        text += ' ';
        CStructureFile::AppendExact(text, f[k]);
    }
    if (is_occupancy) {
        text += ' ';
        CStructureFile::AppendExact(text, occupancy);
    }
    text += '\n';
}
