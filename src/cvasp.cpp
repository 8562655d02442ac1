#include "cvasp.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "elements.h"

namespace {

constexpr int VASP_FIELD_WIDTH = 17;
constexpr int VASP_DECIMALS = 12;
// The shortest position line, "0 0 0" and its line end; bounds the room reserved up front.
constexpr size_t MIN_ATOM_LINE = 6;

char FirstLetter(std::string_view line)
{
    const std::string_view s = CTextFile::SkipSpace(line);
    return s.empty() ? '\0' : static_cast<char>(std::tolower(static_cast<unsigned char>(s[0])));
}

// Line 6 holds counts rather than symbols when its first field starts as an integer.
bool IsCountLine(std::string_view line)
{
    std::string_view token;
    if (!CTextFile::NextToken(line, token))
        return false;
    const size_t i = token[0] == '+' || token[0] == '-' ? 1 : 0;
    return i < token.size() && std::isdigit(static_cast<unsigned char>(token[i]));
}

// The species name of a POTCAR VRHFIN line ("VRHFIN =Si: s2p2" names Si).
std::string_view VrhfinSpecies(std::string_view line)
{
    if (line.find("VRHFIN") == std::string_view::npos)
        return {};
    const size_t eq = line.rfind('=');
    if (eq == std::string_view::npos)
        return {};
    std::string_view rest = line.substr(eq + 1);
    const auto delimiter = [](char ch) { return ch == ':' || ch == '=' || CTextFile::IsSpace(ch); };
    const size_t begin = std::find_if_not(rest.begin(), rest.end(), delimiter) - rest.begin();
    rest = rest.substr(begin);
    return rest.substr(0, std::find_if(rest.begin(), rest.end(), delimiter) - rest.begin());
}

} // namespace

bool CVasp::ReadFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                     std::vector<uint32_t> &index)
{
    return ReadInto(*this, d, f, xyz, index);
}

void CVasp::ReadPotcar(std::string d)
{
    CTextFile potcar;
    if (!potcar.Open(d.empty() ? "POTCAR" : d + "/POTCAR"))
        return;
    std::string_view line;
    while (potcar.NextLine(line)) {
        const std::string_view species = VrhfinSpecies(line);
        if (!species.empty())
            v_table_index.push_back(GetAtomIndex(std::string(species)));
    }
}

void CVasp::DeleteAtom(unsigned int i)
{
    if (i < v_atom_type.size())
        v_atom_type.erase(v_atom_type.begin() + i);
    if (is_dynamics && i < v_dynamics.size())
        v_dynamics.erase(v_dynamics.begin() + i);
    if (is_direct && i < v_fract_xyz.size())
        v_fract_xyz.erase(v_fract_xyz.begin() + i);
}

bool CVasp::Parse(const std::string &d, CTextFile &file, std::vector<glm::dvec3> &xyz,
                  std::vector<uint32_t> &index)
{
    std::string_view line;
    if (!NextHeaderLine(file, line, "the comment line") ||
        !NextHeaderLine(file, line, "the scale factor") || !ReadScale(line) ||
        !ReadLattice(file) || !ReadSpecies(file, d) || !ReadMode(file))
        return false;
    is_periodic = true;
    if (!ReadAtoms(file, xyz, index))
        return false;
    header_lines = static_cast<uint32_t>(header_info.size());
    return true;
}

bool CVasp::NextHeaderLine(CTextFile &file, std::string_view &line, const char *expected)
{
    if (!file.NextLine(line))
        return file.LineNumber() == 0
                   ? Fail("the file is empty")
                   : Fail(file.LineNumber() + 1, std::string("expected ") + expected +
                                                     ", but the file ends");
    header_info.emplace_back(line);
    return true;
}

bool CVasp::ReadScale(std::string_view line)
{
    std::string_view rest = line, token;
    if (!ReadNumber(rest, parameter, 2, "scale factor"))
        return false;
    if (!(parameter > 0.0)) {
        CTextFile::NextToken(line, token);
        return Fail(2, "the scale factor must be greater than 0, found " + CTextFile::Shown(token));
    }
    double next = 0.0;
    if (CTextFile::ScanDouble(rest, next) == EField::OK)
        return Fail(2, "separate scale factors for a, b and c are not supported");
    return true;
}

bool CVasp::ReadLattice(CTextFile &file)
{
    std::string_view line;
    for (int v = 0; v < 3; ++v) {
        if (!NextHeaderLine(file, line, "a lattice vector") ||
            !ReadVector(line, cell_xyz[v], file.LineNumber(), "lattice vector component"))
            return false;
        cell_xyz[v] *= parameter;
    }
    return CheckCell(file.LineNumber());
}

bool CVasp::ReadSpecies(CTextFile &file, const std::string &d)
{
    std::string_view line, token;
    if (!NextHeaderLine(file, line, "the element symbols or the atom counts"))
        return false;
    is_extended = !IsCountLine(line);
    if (is_extended) {
        for (std::string_view rest = line; CTextFile::NextToken(rest, token);)
            v_table_index.push_back(SymbolIndex(token));
        if (!NextHeaderLine(file, line, "the atom counts"))
            return false;
    } else {
        ReadPotcar(d);
        if (v_table_index.empty())
            return Fail(file.LineNumber(), "no element symbols before the atom counts, and no "
                                           "POTCAR naming them in " + (d.empty() ? "." : d));
    }
    if (!ReadCounts(line, file.LineNumber()))
        return false;
    if (v_table_atoms.size() == v_table_index.size())
        return true;
    return Fail(file.LineNumber(), "expected one atom count per species (" +
                                       std::to_string(v_table_index.size()) + " species" +
                                       (is_extended ? "" : " in POTCAR") + "), found " +
                                       std::to_string(v_table_atoms.size()));
}

bool CVasp::ReadCounts(std::string_view line, uint32_t n)
{
    uint64_t total = 0;
    for (std::string_view rest = line, token;;) {
        long long count = 0;
        const std::string_view before = rest;
        const EField result = CTextFile::ScanInteger(rest, count);
        if (result == EField::MISSING)
            break;
        std::string_view shown = before;
        CTextFile::NextToken(shown, token);
        if (result != EField::OK || count < 0)
            return Fail(n, "atom count " + CTextFile::Shown(token) + " is not a whole number");
        total += static_cast<uint64_t>(count);
        if (total > std::numeric_limits<uint32_t>::max())
            return Fail(n, "the atom counts add up to more than 4294967295 atoms");
        v_table_atoms.push_back(static_cast<uint32_t>(count));
    }
    if (total == 0)
        return Fail(n, "the atom counts add up to no atoms");
    total_atoms = static_cast<uint32_t>(total);
    return true;
}

bool CVasp::ReadMode(CTextFile &file)
{
    std::string_view line;
    if (!NextHeaderLine(file, line, "the coordinate mode (Direct or Cartesian)"))
        return false;
    is_dynamics = FirstLetter(line) == 's';
    if (is_dynamics && !NextHeaderLine(file, line, "the coordinate mode (Direct or Cartesian)"))
        return false;
    const char mode = FirstLetter(line);
    is_direct = mode == 'd';
    if (is_direct || mode == 'c' || mode == 'k')
        return true;
    return Fail(file.LineNumber(),
                "expected the coordinate mode (Direct or Cartesian), found " + CTextFile::Shown(line));
}

bool CVasp::ReadAtoms(CTextFile &file, std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index)
{
    const size_t room = std::min<size_t>(total_atoms, file.RemainingBytes() / MIN_ATOM_LINE + 1);
    xyz.reserve(room);
    index.reserve(room);
    v_atom_type.reserve(room);
    std::string_view line;
    size_t species = 0;
    uint32_t left = v_table_atoms[0];
    for (uint32_t i = 0; i < total_atoms; ++i, --left) {
        while (left == 0)
            left = v_table_atoms[++species];
        if (!file.NextLine(line))
            return Fail(file.LineNumber() + 1, "the file ends after " + std::to_string(i) +
                                                   " of " + std::to_string(total_atoms) + " atoms");
        if (i == 0)
            header_info.emplace_back(line);
        glm::dvec3 p;
        if (!ReadVector(line, p, file.LineNumber(), "coordinate") ||
            (is_dynamics && !ReadFlags(line, file.LineNumber())) ||
            !AddPosition(is_direct ? Cartesian(p) : p * parameter, file.LineNumber(), xyz))
            return false;
        if (is_direct)
            v_fract_xyz.push_back(p);
        index.push_back(v_table_index[species]);
        v_atom_type.push_back(static_cast<uint32_t>(species));
    }
    return true;
}

// The three flags are the next three characters other than spaces, as "%c %c %c" takes them.
bool CVasp::ReadFlags(std::string_view rest, uint32_t n)
{
    Dyn flags;
    for (int k = 0; k < 3; ++k) {
        rest = CTextFile::SkipSpace(rest);
        if (rest.empty())
            return Fail(n, "expected 3 selective-dynamics flags, found " + std::to_string(k));
        flags.d[k] = rest[0];
        rest.remove_prefix(1);
    }
    v_dynamics.push_back(flags);
    return true;
}

bool CVasp::SaveFile(std::string, std::string f, std::vector<glm::dvec3> &xyz,
                     std::vector<uint32_t> &index)
{
    if (!CheckAtoms(xyz, index))
        return false;
    if (header_info.size() < 5)
        return Fail("no VASP file has been read to take the header from");
    if (is_dynamics && v_dynamics.size() != xyz.size())
        return Fail("the selective-dynamics flags are out of step with the atoms");
    RebuildSpecies(index);
    std::string text;
    text.reserve(xyz.size() * (3 * VASP_FIELD_WIDTH + 8) + 1024);
    for (size_t k = 0; k < 5; ++k)
        text.append(header_info[k]).append("\n");
    for (size_t s = 0; s < v_table_index.size(); ++s)
        text.append(s > 0 ? " " : "").append(SymbolOf(v_table_index[s]));
    text += '\n';
    for (size_t s = 0; s < v_table_atoms.size(); ++s)
        text.append(s > 0 ? " " : "").append(std::to_string(v_table_atoms[s]));
    text += '\n';
    if (is_dynamics)
        text += "Selective Dynamics\n";
    text += is_direct ? "Direct coordinates\n" : "Cartesian coordinates\n";
    const glm::dmat3 inverse = glm::inverse(cell_xyz);
    for (size_t i : SpeciesOrder()) {
        const glm::dvec3 p = FileCoordinates(i, xyz[i], inverse);
        for (int k = 0; k < 3; ++k)
            AppendFixed(text, p[k], VASP_FIELD_WIDTH, VASP_DECIMALS);
        if (is_dynamics)
            for (char flag : v_dynamics[i].d)
                text.append(1, ' ').append(1, flag);
        text += '\n';
    }
    return WriteText(f, text);
}

// An atom not moved since the read keeps the fractional coordinates it was read with.
glm::dvec3 CVasp::FileCoordinates(size_t i, const glm::dvec3 &p, const glm::dmat3 &inverse) const
{
    if (!is_direct)
        return p / parameter;
    if (i < v_fract_xyz.size() && Cartesian(v_fract_xyz[i]) == p)
        return v_fract_xyz[i];
    return inverse * p;
}

void CVasp::RebuildSpecies(const std::vector<uint32_t> &index)
{
    v_table_index.clear();
    v_table_atoms.clear();
    v_atom_type.assign(index.size(), 0);
    for (size_t i = 0; i < index.size(); ++i) {
        const auto found = std::find(v_table_index.begin(), v_table_index.end(), index[i]);
        const size_t s = static_cast<size_t>(found - v_table_index.begin());
        if (found == v_table_index.end()) {
            v_table_index.push_back(index[i]);
            v_table_atoms.push_back(0);
        }
        v_atom_type[i] = static_cast<uint32_t>(s);
        ++v_table_atoms[s];
    }
}

// Atom indices species by species, each species in model order.
std::vector<size_t> CVasp::SpeciesOrder() const
{
    std::vector<size_t> next(v_table_atoms.size(), 0);
    for (size_t s = 1; s < next.size(); ++s)
        next[s] = next[s - 1] + v_table_atoms[s - 1];
    std::vector<size_t> order(v_atom_type.size());
    for (size_t i = 0; i < v_atom_type.size(); ++i)
        order[next[v_atom_type[i]]++] = i;
    return order;
}
