#include "cvasp.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include "elements.h"

namespace {

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

// `texts` as the fields of a line laid out like `line`: in its columns when all its fields
// took the same room (right-aligned), else with its first blanks and the gap between its fields.
std::string FieldsLike(std::string_view line, const std::vector<std::string> &texts)
{
    std::vector<size_t> slots, gaps;
    size_t pos = 0;
    for (std::string_view rest = line, token; CTextFile::NextToken(rest, token);) {
        const size_t start = static_cast<size_t>(token.data() - line.data());
        gaps.push_back(start - pos);
        pos = start + token.size();
        slots.push_back(gaps.back() + token.size());
    }
    const bool columns = slots.size() > 1 && std::count(slots.begin(), slots.end(), slots[0]) ==
                                                 static_cast<long>(slots.size());
    const size_t gap = std::max<size_t>(gaps.size() > 1 ? gaps[1] : 1, 1);
    std::string out;
    for (size_t k = 0; k < texts.size(); ++k) {
        if (columns)
            out.append(texts[k].size() < slots[0] ? slots[0] - texts[k].size() : 1, ' ');
        else
            out.append(k == 0 ? (gaps.empty() ? 0 : gaps[0]) : gap, ' ');
        out += texts[k];
    }
    return out;
}

// The largest change of a Cartesian coordinate per unit change of every fractional one.
double MaxRowSum(const glm::dmat3 &cell)
{
    double most = 0.0;
    for (int k = 0; k < 3; ++k)
        most = std::max(most, std::fabs(cell[0][k]) + std::fabs(cell[1][k]) + std::fabs(cell[2][k]));
    return most;
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
    if (parameter == 0.0) {
        CTextFile::NextToken(line, token);
        return Fail(2, "the scale factor must not be 0, found " + CTextFile::Shown(token));
    }
    double next = 0.0;
    if (CTextFile::ScanDouble(rest, next) == EField::OK)
        return Fail(2, "separate scale factors for a, b and c are not supported");
    return true;
}

bool CVasp::ReadLattice(CTextFile &file)
{
    std::string_view line;
    for (int v = 0; v < 3; ++v)
        if (!NextHeaderLine(file, line, "a lattice vector") ||
            !ReadVector(line, cell_xyz[v], file.LineNumber(), "lattice vector component"))
            return false;
    if (!CheckCell(file.LineNumber()))
        return false;
    // A negative scale factor is the volume the cell is scaled to.
    if (parameter < 0.0)
        parameter = std::cbrt(-parameter / std::fabs(glm::determinant(cell_xyz)));
    cell_xyz *= parameter;
    return CheckCell(file.LineNumber());
}

bool CVasp::ReadSpecies(CTextFile &file, const std::string &d)
{
    std::string_view line, token;
    if (!NextHeaderLine(file, line, "the element symbols or the atom counts"))
        return false;
    is_extended = !IsCountLine(line);
    if (is_extended) {
        u_species_line = file.LineNumber();
        for (std::string_view rest = line; CTextFile::NextToken(rest, token);) {
            v_table_index.push_back(SymbolIndex(token));
            v_species_label.emplace_back(token);
        }
        if (!NextHeaderLine(file, line, "the atom counts"))
            return false;
    } else
        ReadPotcar(d);
    u_counts_line = file.LineNumber();
    if (!ReadCounts(line, u_counts_line))
        return false;
    if (v_table_index.empty())
        SpeciesFromComment(v_table_atoms.size());
    if (v_table_index.empty())
        return Fail(u_counts_line, "no element symbols before the atom counts, and no POTCAR "
                                   "naming them in " + (d.empty() ? "." : d));
    v_species_atoms = v_table_atoms;
    if (v_table_atoms.size() == v_table_index.size())
        return true;
    return Fail(u_counts_line, "expected one atom count per species (" +
                                   std::to_string(v_table_index.size()) + " species" +
                                   (is_extended ? "" : " in POTCAR") + "), found " +
                                   std::to_string(v_table_atoms.size()));
}

// VASP 4 files often name their species in the comment line ("Fe O"): taken when its first
// fields are exactly `wanted` element symbols.
void CVasp::SpeciesFromComment(size_t wanted)
{
    std::vector<uint32_t> species;
    std::string_view rest = header_info.front(), token;
    while (species.size() < wanted && CTextFile::NextToken(rest, token)) {
        const uint32_t idx = ElementIndexOfSymbol(std::string(token));
        if (idx == NO_ELEMENT || token != SymbolOf(idx))
            return;
        species.push_back(idx);
    }
    if (species.size() == wanted)
        v_table_index = std::move(species);
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
    std::string_view line;
    if (file.NextLine(line)) {
        header_info.emplace_back(line);
        file.UnreadLine();
    }
    u_first_atom_line = file.LineNumber() + 1;
    if (!ReadPieces(*this, file, total_atoms, true, xyz, index))
        return false;
    if (xyz.size() < total_atoms)
        return Fail(file.LineNumber() + 1, "the file ends after " + std::to_string(xyz.size()) + " of " +
                                               std::to_string(total_atoms) + " atoms");
    FindVelocities(file);
    return true;
}

CStructureFile::EPiece CVasp::ReadLines(CTextFile &lines, std::vector<glm::dvec3> &xyz,
                                        std::vector<uint32_t> &index)
{
    std::string_view line;
    size_t species = 0;
    // Atoms of the species before `species`.
    uint64_t before = 0;
    while (lines.NextLine(line)) {
        const uint32_t n = lines.LineNumber();
        while (n - u_first_atom_line >= before + v_table_atoms[species])
            before += v_table_atoms[species++];
        glm::dvec3 p;
        if (!ReadVector(line, p, n, "coordinate") || (is_dynamics && !ReadFlags(line, n)) ||
            !AddPosition(is_direct ? Cartesian(p) : p * parameter, n, xyz))
            return EPiece::FAILED;
        if (is_direct)
            v_fract_xyz.push_back(p);
        index.push_back(v_table_index[species]);
        v_atom_type.push_back(static_cast<uint32_t>(species));
    }
    return EPiece::READ;
}

// A blank (or coordinate-mode) line and then one line of three numbers per atom: the
// velocities, kept in step with the atoms at a save. Anything else after the positions is left
// as it stands.
void CVasp::FindVelocities(CTextFile &file)
{
    std::string_view line;
    if (!file.NextLine(line))
        return;
    const char mode = FirstLetter(line);
    if (mode != '\0' && mode != 'c' && mode != 'k' && mode != 'd')
        return;
    const uint32_t first = file.LineNumber() + 1;
    for (uint32_t i = 0; i < total_atoms; ++i) {
        glm::dvec3 v;
        if (!file.NextLine(line))
            return;
        for (int k = 0; k < 3; ++k)
            if (CTextFile::ScanDouble(line, v[k]) != EField::OK)
                return;
    }
    u_velocity_line = first;
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
    if (!HasSource())
        return SaveFresh(f, xyz, index);
    return WriteBack(f, xyz, index);
}

// Species are runs of atoms in the order given, so that no atom is reordered; the cell and the
// positions (Cartesian) read back exactly as given.
bool CVasp::SaveFresh(const std::string &f, const std::vector<glm::dvec3> &xyz,
                      const std::vector<uint32_t> &index)
{
    if (!is_periodic)
        return Fail("a POSCAR file needs a cell, and the structure has none");
    std::vector<std::string> labels, counts;
    for (size_t i = 0, run = 1; i < index.size(); ++i, ++run)
        if (i + 1 == index.size() || index[i + 1] != index[i]) {
            labels.emplace_back(SymbolOf(index[i]));
            counts.push_back(std::to_string(run));
            run = 0;
        }
    std::string text = FieldsLike("", labels) + "\n1.0\n";
    const auto AppendExactLine = [](std::string &out, const glm::dvec3 &v) {
        for (int k = 0; k < 3; ++k) {
            out += ' ';
            AppendExact(out, v[k]);
        }
        out += '\n';
    };
    for (int v = 0; v < 3; ++v)
        AppendExactLine(text, cell_xyz[v]);
    text.append(FieldsLike("", labels)).append("\n").append(FieldsLike("", counts)).append("\nCartesian\n");
    for (const glm::dvec3 &p : xyz)
        AppendExactLine(text, p);
    return WriteText(f, text);
}

std::string CVasp::SpeciesLabel(size_t s) const
{
    return s < v_species_label.size() ? v_species_label[s] : std::string(SymbolOf(v_table_index[s]));
}

// Runs of atoms in file order: an atom keeps its species as read unless its element changed;
// consecutive atoms of one new element form one new species. Added atoms follow the last run,
// joining it when they are of its element.
void CVasp::PrepareRewrite(const std::vector<SAtomEdit> &edits)
{
    m_inverse_cell = glm::inverse(SavedCell());
    position_tolerance = MOVED_ERROR / 2 / (is_direct ? MaxRowSum(SavedCell()) : std::fabs(parameter));
    v_source_deleted.assign(edits.size(), false);
    v_run_label.clear();
    std::vector<uint32_t> counts;
    constexpr uint64_t NEW_SPECIES = uint64_t(1) << 32;
    uint64_t last = ~uint64_t(0);
    uint32_t last_element = DUMMY_ELEMENT;
    bool any_retyped = false;
    const auto count = [&](uint64_t key, uint32_t element, const std::string &label) {
        if (key != last) {
            v_run_label.push_back(label);
            counts.push_back(0);
            last = key;
            last_element = element;
        }
        ++counts.back();
    };
    size_t species = 0;
    uint32_t left = v_species_atoms.front();
    for (const SAtomEdit &e : edits) {
        while (left == 0)
            left = v_species_atoms[++species];
        --left;
        v_source_deleted[e.source] = e.deleted;
        if (e.deleted)
            continue;
        any_retyped = any_retyped || e.retyped;
        if (e.retyped)
            count(NEW_SPECIES | e.element, e.element, std::string(SymbolOf(e.element)));
        else
            count(species, v_table_index[species], SpeciesLabel(species));
    }
    for (const SAtomEdit &e : AddedAtoms())
        count(e.element == last_element ? last : NEW_SPECIES | e.element, e.element, std::string(SymbolOf(e.element)));
    v_run_count.clear();
    for (uint32_t c : counts)
        v_run_count.push_back(std::to_string(c));
    is_runs_changed = any_retyped || DeletedCount() > 0 || !AddedAtoms().empty();
    // Without a symbol line the species are known by their order (in POTCAR or the comment), so
    // a file whose species no longer match that order gets a symbol line.
    is_species_added = u_species_line == 0 && (any_retyped || counts.size() != v_species_atoms.size());
}

// The position of an atom as a Direct or Cartesian line gives it.
glm::dvec3 CVasp::FileCoordinates(const glm::dvec3 &p) const
{
    return is_direct ? m_inverse_cell * p : p / parameter;
}


bool CVasp::RewriteAtomLine(std::string_view line, const SAtomEdit &edit, std::string &out)
{
    if (edit.deleted)
        return false;
    if (!edit.moved) {
        out.append(line);
        return true;
    }
    const glm::dvec3 p = FileCoordinates(edit.xyz);
    std::vector<std::pair<size_t, std::string>> fields;
    for (int k = 0; k < 3; ++k)
        fields.emplace_back(k, NumberLike(Field(line, k), p[k], position_tolerance));
    out += ReplaceFields(line, std::move(fields));
    return true;
}

// In the layout of the line copied: a supercell's image keeps its flags and what follows them, a
// new atom moves freely (T T T) in a selective-dynamics file.
void CVasp::AddedAtomLine(const SAtomEdit &added, std::string &out)
{
    const std::string_view like = AtomLine(added.source);
    const glm::dvec3 p = FileCoordinates(added.xyz);
    std::vector<std::string> texts;
    for (int k = 0; k < 3; ++k)
        texts.push_back(NumberLike(Field(like, k), p[k], position_tolerance));
    if (added.source != NO_TEMPLATE)
        for (size_t k = 3; !Field(like, k).empty(); ++k)
            texts.emplace_back(Field(like, k));
    else if (is_dynamics)
        texts.insert(texts.end(), {"T", "T", "T"});
    out += FieldsLike(like, texts);
}

// The lattice lines (and a scale factor given as a volume) of an edited cell.
void CVasp::RewriteLattice(std::string_view line, uint32_t n, std::string &out) const
{
    std::vector<std::pair<size_t, std::string>> fields;
    if (n == 2) {
        const std::string_view scale = Field(line, 0);
        if (!scale.empty() && scale[0] == '-')
            fields.emplace_back(0, NumberLike(scale, -std::fabs(glm::determinant(edited_cell))));
    } else {
        const glm::dvec3 v = edited_cell[n - 3] / parameter;
        for (int k = 0; k < 3; ++k)
            fields.emplace_back(k, NumberLike(Field(line, k), v[k]));
    }
    out += ReplaceFields(line, std::move(fields));
}

// A zero velocity line in the layout of `like`, for each added atom, after the line or in its place.
void CVasp::AppendZeroVelocities(std::string_view like, bool is_line_kept, std::string &out) const
{
    if (is_line_kept)
        out.append(like);
    std::vector<std::string> zero;
    for (int k = 0; k < 3; ++k)
        zero.push_back(NumberLike(Field(like, k), 0.0));
    for (size_t k = 0; k < AddedAtoms().size(); ++k) {
        if (is_line_kept || k > 0)
            out += LineEnd();
        out += FieldsLike(like, zero);
    }
}

// The species and counts lines follow the runs (a VASP 4 file gains a symbol line when an atom
// got a new element); a deleted atom's velocity line goes, an added atom gets a zero one, and a
// predictor-corrector block goes, as it only describes the atoms as read.
bool CVasp::RewriteOtherLine(std::string_view line, uint32_t n, std::string &out)
{
    if (is_cell_edited && n >= 2 && n <= 5) {
        RewriteLattice(line, n, out);
        return true;
    }
    if (is_runs_changed && n == u_species_line) {
        out += FieldsLike(line, v_run_label);
        return true;
    }
    if (is_runs_changed && n == u_counts_line) {
        if (is_species_added)
            out.append(FieldsLike(line, v_run_label)).append(LineEnd());
        out += FieldsLike(line, v_run_count);
        return true;
    }
    if (u_velocity_line != 0 && n >= u_velocity_line) {
        const size_t s = n - u_velocity_line;
        const bool is_gone = s < v_source_deleted.size() ? v_source_deleted[s]
                                                         : DeletedCount() > 0 || !AddedAtoms().empty();
        if (s + 1 == v_source_deleted.size() && !AddedAtoms().empty()) {
            AppendZeroVelocities(line, !is_gone, out);
            return true;
        }
        if (is_gone)
            return false;
    }
    out.append(line);
    return true;
}
