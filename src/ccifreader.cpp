#include "ccifreader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include <gemmi/cif.hpp>
#include <gemmi/symmetry.hpp>

#include "ccifsymmetry.h"
#include "closeatoms.h"
#include "cmmcifentry.h"
#include "cstructurefile.h"
#include "elements.h"

namespace cif = gemmi::cif;

namespace CifReader {

namespace {
// Images of one site closer than this along each axis (fractional, modulo 1), and within the
// merge distance, are one atom: the site's own symmetry, not a duplicate worth a word.
constexpr double SAME_IMAGE_FRACTION = 1e-3;
// Fractional coordinates beyond this lose every digit that places the atom in its cell.
constexpr double MAX_FRACTION = 1e6;
constexpr int MAX_DISORDER_GROUPS = 255;
// Cartesian = matrix x fractional + vector, for Cartesian sites of a crystal.
const char *const MATRIX_TAG = "_atom_sites_Cartn_tran_matrix_";
const char *const VECTOR_TAG = "_atom_sites_Cartn_tran_vector_";

// Old and new names of the same data, the first found is taken.
const char *const OPERATION_TAGS[] = {"_space_group_symop_operation_xyz", "_symmetry_equiv_pos_as_xyz",
                                      "_space_group_symop.operation_xyz"};
const char *const HALL_TAGS[] = {"_space_group_name_Hall", "_symmetry_space_group_name_Hall"};
const char *const NAME_TAGS[] = {"_space_group_name_H-M_alt", "_symmetry_space_group_name_H-M"};
const char *const NUMBER_TAGS[] = {"_space_group_IT_number", "_symmetry_Int_Tables_number"};

// Where the k-th value of a loop stands: the loop is tokenised again from its `loop_` line, as
// only a refusal needs this. Tokens are the keyword, the tags, then the values.
uint32_t ValueLine(std::string_view text, const cif::Item &item, size_t k)
{
    uint32_t line = 1;
    size_t pos = 0;
    while (line < static_cast<uint32_t>(item.line_number) && pos < text.size())
        if (text[pos++] == '\n')
            ++line;
    const size_t wanted = 1 + item.loop.tags.size() + k;
    for (size_t token = 0; pos < text.size(); ++token) {
        while (pos < text.size() && (CTextFile::IsSpace(text[pos]) || text[pos] == '\n' || text[pos] == '#')) {
            if (text[pos] == '#')
                pos = std::min(text.size(), text.find('\n', pos));
            else if (text[pos++] == '\n')
                ++line;
        }
        if (token == wanted || pos == text.size())
            return line;
        const char c = text[pos];
        size_t end = pos + 1;
        if (c == ';' && (pos == 0 || text[pos - 1] == '\n'))
        {
            const size_t close = text.find("\n;", pos);
            end = close == std::string_view::npos ? text.size() : close + 2;
        }
        else if (c == '\'' || c == '"')
            while (end < text.size() && !(text[end - 1] == c && end > pos + 1 && CTextFile::IsSpace(text[end])))
                ++end;
        else
            while (end < text.size() && !CTextFile::IsSpace(text[end]) && text[end] != '\n')
                ++end;
        line += static_cast<uint32_t>(std::count(text.begin() + pos, text.begin() + end, '\n'));
        pos = end;
    }
    return line;
}

// The first of the tags that the block has (as a pair or in a loop).
cif::Column FirstColumn(cif::Block &block, const char *const *tags, size_t n)
{
    for (size_t k = 0; k < n; ++k)
        if (cif::Column c = block.find_values(tags[k]))
            return c;
    return {};
}

template <size_t N>
cif::Column FirstColumn(cif::Block &block, const char *const (&tags)[N])
{
    return FirstColumn(block, tags, N);
}

// A CIF number: quotes and the standard uncertainty in brackets ("0.2501(3)") dropped.
EField CifNumber(const std::string &raw, double &v)
{
    const std::string text = cif::as_string(raw);
    std::string_view s = text;
    const size_t bracket = s.find('(');
    if (bracket != std::string_view::npos && s.back() == ')')
        s = s.substr(0, bracket);
    const EField result = CTextFile::ScanDouble(s, v);
    return result == EField::OK && !CTextFile::SkipSpace(s).empty() ? EField::INVALID : result;
}

// The values of one table of the block: a loop, or pairs (a table of one row).
class CTable {
public:
    CTable(std::string_view text, cif::Block &block) : text_(text), block_(block) {}

    // Adds a column; false when the block lacks the tag.
    bool Add(const char *tag)
    {
        cif::Column c = block_.find_values(tag);
        columns_.push_back(c);
        tags_.push_back(tag);
        if (!c)
            return false;
        if (!first_)
            first_ = c;
        else if (c.item() != first_.item() && (c.item()->type == cif::ItemType::Loop ||
                                                 first_.item()->type == cif::ItemType::Loop))
            throw SBadCif{Line(columns_.size() - 1, 0), std::string(tag) + " is not in the loop of " + tags_[0]};
        return true;
    }
    size_t Rows() const { return first_ ? static_cast<size_t>(first_.length()) : 0; }
    bool Has(size_t column) const { return static_cast<bool>(columns_[column]); }
    const std::string &Raw(size_t column, size_t row) { return columns_[column][static_cast<int>(row)]; }
    std::string Text(size_t column, size_t row) { return Has(column) ? cif::as_string(Raw(column, row)) : ""; }
    bool IsNull(size_t column, size_t row) { return !Has(column) || cif::is_null(Raw(column, row)); }

    double Number(size_t column, size_t row, const char *what)
    {
        double v = 0.0;
        const EField result = CifNumber(Raw(column, row), v);
        if (result == EField::OK)
            return v;
        const std::string &raw = Raw(column, row);
        throw SBadCif{Line(column, row), result == EField::MISSING || cif::is_null(raw)
                                             ? std::string(what) + " " + tags_[column] + " is not given"
                                             : CTextFile::BadNumber(raw, result, what)};
    }

    uint32_t Line(size_t column, size_t row) const
    {
        const cif::Item *item = columns_[column].item();
        if (item->type != cif::ItemType::Loop)
            return static_cast<uint32_t>(item->line_number);
        return ValueLine(text_, *item, row * item->loop.tags.size() + columns_[column].col());
    }

private:
    std::string_view text_;
    cif::Block &block_;
    std::vector<cif::Column> columns_;
    std::vector<std::string> tags_;
    cif::Column first_;
};

// ---- cell --------------------------------------------------------------------

// The cell of the block (angles 90 degrees unless given); false when it gives no cell lengths.
bool ReadCell(std::string_view text, cif::Block &block, glm::dmat3 &cell, glm::dvec3 &angles)
{
    CTable t(text, block);
    size_t given = 3;
    for (size_t k = 0; k < 3; ++k)
        if (t.Add(LENGTH_TAGS[k]) && given == 3)
            given = k;
    if (given == 3)
        return false;
    glm::dvec3 lengths(0.0);
    for (size_t k = 0; k < 3; ++k) {
        if (!t.Has(k))
            throw SBadCif{t.Line(given, 0), "the cell has no " + std::string(LENGTH_TAGS[k])};
        lengths[k] = t.Number(k, 0, "cell length");
        if (!(lengths[k] > 0.0))
            throw SBadCif{t.Line(k, 0), std::string(LENGTH_TAGS[k]) + " is " + cif::as_string(t.Raw(k, 0)) +
                                            "; a cell length must be above 0"};
    }
    for (size_t k = 0; k < 3; ++k)
        if (t.Add(ANGLE_TAGS[k]))
            angles[k] = t.Number(3 + k, 0, "cell angle");
    const glm::dvec3 c = glm::cos(glm::radians(angles));
    const double volume_term = 1.0 - c.x * c.x - c.y * c.y - c.z * c.z + 2.0 * c.x * c.y * c.z;
    const bool each_possible = glm::all(glm::greaterThan(angles, glm::dvec3(0.0))) &&
                               glm::all(glm::lessThan(angles, glm::dvec3(180.0)));
    if (!each_possible || !(volume_term > 1e-12)) {
        const size_t at = t.Has(3) ? 3 : 0;
        const auto shown = [&](size_t k) { return t.Has(3 + k) ? cif::as_string(t.Raw(3 + k, 0)) : "90"; };
        throw SBadCif{t.Line(at, 0), "the cell angles " + shown(0) + ", " + shown(1) + ", " + shown(2) + " give no cell"};
    }
    cell = CellOfParameters(lengths, angles);
    return true;
}

// ---- symmetry ------------------------------------------------------------------

using CifSymmetry::FindSpaceGroup;
using CifSymmetry::ParseOperation;
using CifSymmetry::SOperation;
using CifSymmetry::ToOperations;

// The operations of the block, in order of trust, and where they came from.
std::vector<SOperation> ReadSymmetry(std::string_view text, cif::Block &block, const glm::dvec3 &angles,
                                     std::string &source)
{
    for (const char *tag : OPERATION_TAGS) {
        CTable ops(text, block);
        if (!ops.Add(tag))
            continue;
        std::vector<SOperation> out;
        for (size_t r = 0; r < ops.Rows(); ++r)
            out.push_back(ParseOperation(ops.Text(0, r), ops.Line(0, r)));
        source = "operations";
        return out;
    }
    cif::Column hall = FirstColumn(block, HALL_TAGS);
    if (hall && !cif::is_null(hall[0])) {
        const std::string symbol = cif::as_string(hall[0]);
        try {
            source = "Hall symbol";
            return ToOperations(gemmi::symops_from_hall(symbol.c_str()));
        } catch (const std::exception &e) {
            throw SBadCif{static_cast<uint32_t>(hall.item()->line_number),
                          "Hall symbol " + CTextFile::Shown(symbol) + " does not read: " + e.what()};
        }
    }
    cif::Column name = FirstColumn(block, NAME_TAGS);
    if (name && !cif::is_null(name[0])) {
        const std::string symbol = cif::as_string(name[0]);
        const gemmi::SpaceGroup *sg = FindSpaceGroup(symbol, angles.x, angles.z);
        if (sg == nullptr)
            throw SBadCif{static_cast<uint32_t>(name.item()->line_number),
                          "space group " + CTextFile::Shown(symbol) + " is not one the tables know"};
        source = "space-group name";
        return ToOperations(sg->operations());
    }
    cif::Column number = FirstColumn(block, NUMBER_TAGS);
    double n = 0.0;
    if (number && CifNumber(number[0], n) == EField::OK) {
        const gemmi::SpaceGroup *sg = n >= 1 && n <= 230 ? gemmi::find_spacegroup_by_number(static_cast<int>(n)) : nullptr;
        if (sg == nullptr)
            throw SBadCif{static_cast<uint32_t>(number.item()->line_number),
                          "space-group number " + cif::as_string(number[0]) + " is not between 1 and 230"};
        source = "space-group number";
        return ToOperations(sg->operations());
    }
    source = "none";
    return {SOperation{}};
}

// ---- sites -------------------------------------------------------------------------

double Wrap(double x)
{
    x -= std::floor(x);
    return x >= 1.0 ? 0.0 : x;
}

// The shortest vector between two places in a cell, both fractional in [0, 1).
glm::dvec3 Apart(const glm::dvec3 &a, const glm::dvec3 &b, const glm::dmat3 &cell)
{
    const glm::dvec3 d = a - b;
    return cell * (d - glm::round(d));
}

bool SameImage(const glm::dvec3 &a, const glm::dvec3 &b, const glm::dmat3 &cell)
{
    for (int k = 0; k < 3; ++k) {
        const double d = std::fabs(a[k] - b[k]);
        if (std::min(d, 1.0 - d) > SAME_IMAGE_FRACTION)
            return false;
    }
    return glm::length(Apart(a, b, cell)) < MERGE_DISTANCE;
}

// The site's distinct images in the cell, in the order of the operations.
void Expand(const glm::dvec3 &site, const std::vector<SOperation> &ops, const glm::dmat3 &cell,
            std::vector<glm::dvec3> &images)
{
    images.clear();
    for (const SOperation &op : ops) {
        glm::dvec3 p = op.rotation * site + op.translation;
        for (int k = 0; k < 3; ++k)
            p[k] = Wrap(p[k]);
        if (std::none_of(images.begin(), images.end(), [&](const glm::dvec3 &q) { return SameImage(p, q, cell); }))
            images.push_back(p);
    }
}

// The element symbol at the start of `text`, letters in any case: its first two letters when
// they make a symbol ("NA1", "Cl2"), else its first.
uint32_t LeadingElement(std::string_view text)
{
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0])))
        return NO_ELEMENT;
    std::string one(1, static_cast<char>(std::toupper(static_cast<unsigned char>(text[0]))));
    if (text.size() > 1 && std::isalpha(static_cast<unsigned char>(text[1]))) {
        const std::string two = one + static_cast<char>(std::tolower(static_cast<unsigned char>(text[1])));
        const uint32_t idx = ElementIndexOfSymbol(two);
        if (idx != NO_ELEMENT && two == SymbolOf(idx))
            return idx;
    }
    const uint32_t idx = ElementIndexOfSymbol(one);
    return idx != NO_ELEMENT && one == SymbolOf(idx) ? idx : NO_ELEMENT;
}

// Disorder groups as conformer codes: each group its own code, none 0.
class CGroups {
public:
    uint8_t Code(const std::string &group, uint32_t line)
    {
        if (group.empty())
            return 0;
        const auto found = codes_.emplace(group, codes_.size() + 1);
        if (found.first->second > MAX_DISORDER_GROUPS)
            throw SBadCif{line, "more than 255 disorder groups"};
        return static_cast<uint8_t>(found.first->second);
    }
    bool Any() const { return !codes_.empty(); }

private:
    std::map<std::string, size_t> codes_;
};

enum ESiteColumn { X, Y, Z, LABEL, TYPE, OCCUPANCY, GROUP };

// The block to read: the one named, else the first with atom sites.
cif::Block &ChooseBlock(cif::Document &doc, const std::string &wanted)
{
    std::string names;
    const std::string low = gemmi::to_lower(wanted); // iequal takes its second name in lower case
    for (cif::Block &b : doc.blocks) {
        if (wanted.empty() ? b.find_values(FRACT_TAGS[0]) || b.find_values(CARTN_TAGS[0]) ||
                                 b.find_values("_atom_site.Cartn_x")
                           : gemmi::iequal(b.name, low))
            return b;
        names += (names.empty() ? "" : ", ") + b.name;
    }
    if (wanted.empty())
        throw SBadCif{0, "no data block has atom sites (_atom_site_fract_x or _atom_site_Cartn_x)"};
    throw SBadCif{0, "the file has no data block " + CTextFile::Shown(wanted) + " (its blocks: " + names + ")"};
}

// Fractional = matrix x (Cartesian - shift).
struct SAffine {
    glm::dmat3 matrix;
    glm::dvec3 shift;
};

// Cartesian sites of a crystal to fractional: by the block's _atom_sites_Cartn_tran_matrix and
// vector (Cartesian = matrix x fractional + vector) when it gives them, else by `cell`.
SAffine CartesianToFractional(std::string_view text, cif::Block &block, const glm::dmat3 &cell)
{
    CTable t(text, block);
    size_t given = 0, first = 0;
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
            if (t.Add((std::string(MATRIX_TAG) + std::to_string(i) + std::to_string(j)).c_str()) && given++ == 0)
                first = static_cast<size_t>(3 * (i - 1) + j - 1);
    if (given == 0)
        return {glm::inverse(cell), glm::dvec3(0.0)};
    if (given < 9)
        throw SBadCif{t.Line(first, 0), "the block gives " + std::to_string(given) + " of the 9 elements of " +
                                            MATRIX_TAG + "*"};
    glm::dmat3 m(0.0);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m[j][i] = t.Number(static_cast<size_t>(3 * i + j), 0, "matrix element");
    glm::dvec3 shift(0.0);
    for (int k = 0; k < 3; ++k)
        if (t.Add((std::string(VECTOR_TAG) + std::to_string(k + 1)).c_str()))
            shift[k] = t.Number(static_cast<size_t>(9 + k), 0, "vector element");
    const glm::dmat3 inverse = glm::inverse(m);
    bool invertible = std::fabs(glm::determinant(m)) > 0.0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            invertible = invertible && std::isfinite(inverse[i][j]);
    if (!invertible)
        throw SBadCif{t.Line(0, 0), std::string(MATRIX_TAG) + "* has no inverse"};
    return {inverse, shift};
}

// A molecule's atoms fractional in a box twice as wide as they spread, so that no periodic image
// comes near them.
glm::dmat3 MoleculeBox(std::vector<glm::dvec3> &places)
{
    glm::dvec3 low(0.0), high(0.0);
    if (!places.empty())
        low = high = places[0];
    for (const glm::dvec3 &p : places) {
        low = glm::min(low, p);
        high = glm::max(high, p);
    }
    const glm::dvec3 side = 2.0 * (high - low) + glm::dvec3(3.0 * MERGE_DISTANCE);
    for (glm::dvec3 &p : places)
        p = (p - low) / side;
    return glm::dmat3(side.x, 0.0, 0.0, 0.0, side.y, 0.0, 0.0, 0.0, side.z);
}

template <class T>
void DropDuplicates(std::vector<T> &v, const std::vector<bool> &duplicate)
{
    size_t kept = 0;
    for (size_t i = 0; i < v.size(); ++i)
        if (!duplicate[i] && kept++ != i)
            v[kept - 1] = std::move(v[i]);
    v.resize(kept);
}

// Atoms of one element closer than MERGE_DISTANCE are one, whichever sites they came from (a
// file that lists equivalent sites besides the operations that make them, or rounded
// coordinates): the first keeps its site's label, occupancy and group. `places` are fractional
// in the cell, or Cartesian for a molecule.
void MergeCloseAtoms(std::vector<glm::dvec3> places, SRead &r)
{
    const glm::dmat3 box = r.is_periodic ? r.cell : MoleculeBox(places);
    const std::vector<bool> duplicate = DuplicateAtoms(places, r.index, box, MERGE_DISTANCE);
    r.merged = static_cast<size_t>(std::count(duplicate.begin(), duplicate.end(), true));
    if (r.merged == 0)
        return;
    DropDuplicates(r.xyz, duplicate);
    DropDuplicates(r.index, duplicate);
    DropDuplicates(r.label, duplicate);
    if (!r.occupancy.empty())
        DropDuplicates(r.occupancy, duplicate);
    DropDuplicates(r.group, duplicate);
}

void ReadSites(std::string_view text, cif::Block &block, SRead &r)
{
    glm::dvec3 angles(90.0);
    r.is_periodic = ReadCell(text, block, r.cell, angles);
    // Cartesian sites only where the block has no fractional ones.
    const bool fractional = static_cast<bool>(block.find_values(FRACT_TAGS[0]));
    const char *const *coordinate_tags = fractional ? FRACT_TAGS : CARTN_TAGS;
    CTable t(text, block);
    for (size_t k = 0; k < 3; ++k)
        if (!t.Add(coordinate_tags[k]))
            throw SBadCif{t.Line(0, 0), std::string(coordinate_tags[0]) + " without " + coordinate_tags[k]};
    for (const char *tag : {"_atom_site_label", "_atom_site_type_symbol", "_atom_site_occupancy", "_atom_site_disorder_group"})
        t.Add(tag);
    if (fractional && !r.is_periodic)
        throw SBadCif{t.Line(X, 0), "fractional coordinates but no cell (_cell_length_a)"};
    // A crystal's sites, fractional or Cartesian, are expanded by its symmetry; a molecule's stay.
    const std::vector<SOperation> ops =
        r.is_periodic ? ReadSymmetry(text, block, angles, r.symmetry) : std::vector<SOperation>{SOperation{}};
    r.operations = ops.size();
    const SAffine to_fractional = fractional || !r.is_periodic ? SAffine{glm::dmat3(1.0), glm::dvec3(0.0)}
                                                              : CartesianToFractional(text, block, r.cell);
    const bool has_occupancy = t.Has(OCCUPANCY);
    CGroups groups;
    std::vector<glm::dvec3> images, places;
    for (size_t row = 0; row < t.Rows(); ++row) {
        glm::dvec3 p;
        for (int k = 0; k < 3; ++k)
            p[k] = t.Number(k, row, "coordinate");
        if (!fractional)
            CheckPosition(p, t.Line(X, row));
        p = to_fractional.matrix * (p - to_fractional.shift);
        if (r.is_periodic && !(glm::all(glm::lessThanEqual(glm::abs(p), glm::dvec3(MAX_FRACTION)))))
            throw SBadCif{t.Line(X, row), fractional ? "fractional coordinates beyond 1e6 place no atom"
                                                     : "the atom lies beyond 1e6 cells from the origin"};
        const std::string label = t.Text(LABEL, row);
        const uint32_t element = ElementOfSite(t.Text(TYPE, row), label);
        double occupancy = 1.0;
        if (has_occupancy && !t.IsNull(OCCUPANCY, row)) {
            occupancy = t.Number(OCCUPANCY, row, "occupancy");
            if (!(occupancy >= 0.0))
                throw SBadCif{t.Line(OCCUPANCY, row), "occupancy " + t.Text(OCCUPANCY, row) + " is below 0"};
        }
        const uint8_t group = groups.Code(t.Text(GROUP, row), t.Has(GROUP) ? t.Line(GROUP, row) : 0);
        if (r.is_periodic)
            Expand(p, ops, r.cell, images);
        else
            images.assign(1, p);
        for (const glm::dvec3 &f : images) {
            places.push_back(f);
            r.xyz.push_back(r.is_periodic ? r.cell * f : f);
            r.index.push_back(element);
            r.label.push_back(label);
            if (has_occupancy)
                r.occupancy.push_back(occupancy);
            r.group.push_back(group);
        }
    }
    if (r.xyz.empty())
        throw SBadCif{t.Line(X, 0), "the atom site loop has no atoms"};
    MergeCloseAtoms(std::move(places), r);
    if (!groups.Any())
        r.group.clear();
}

// A syntax error of gemmi's parser, said with the line it concerns: a text field that is never
// closed is reported where it opens (the last line that starts with ';'), not at the end.
SBadCif SyntaxError(std::string_view text, const tao::pegtl::parse_error &e)
{
    const std::string message(e.message());
    uint32_t line = e.positions().empty() ? 0 : static_cast<uint32_t>(e.positions().front().line);
    if (message == "unterminated text field") {
        const size_t open = text.rfind("\n;");
        if (open != std::string_view::npos)
            line = static_cast<uint32_t>(std::count(text.begin(), text.begin() + open + 1, '\n')) + 1;
        return {line, "the text field that opens here is never closed by a line starting with ';'"};
    }
    if (message == "Wrong number of values in the loop")
        return {line, "the loop that starts here has a number of values that is not a multiple of its tags"};
    return {line, message};
}

// gemmi's own messages start with the source name and line ("cif:12 in data_x: ...").
std::string GemmiReason(const std::string &what)
{
    const std::string prefix = "cif:";
    if (what.rfind(prefix, 0) != 0)
        return what;
    size_t end = prefix.size();
    while (end < what.size() && std::isdigit(static_cast<unsigned char>(what[end])))
        ++end;
    const size_t colon = what.find(": ", end);
    return "line " + what.substr(prefix.size(), end - prefix.size()) + ": " +
           (colon == std::string::npos ? what.substr(end) : what.substr(colon + 2));
}

} // namespace

void CheckPosition(const glm::dvec3 &p, uint32_t line)
{
    for (int k = 0; k < 3; ++k)
        if (!(std::fabs(p[k]) <= CStructureFile::MAX_COORDINATE))
            throw SBadCif{line, "the atom lies beyond 1e15 angstrom from the origin"};
}

glm::dmat3 CellOfParameters(const glm::dvec3 &lengths, const glm::dvec3 &angles)
{
    // Right angles exactly, as the ASE and pymatgen cells have them.
    auto cosine = [](double deg) { return deg == 90.0 ? 0.0 : std::cos(glm::radians(deg)); };
    const double ca = cosine(angles.x), cb = cosine(angles.y), cg = cosine(angles.z);
    const double sg = angles.z == 90.0 ? 1.0 : std::sin(glm::radians(angles.z));
    const double cy = (ca - cb * cg) / sg;
    glm::dmat3 cell(0.0);
    cell[0] = glm::dvec3(lengths.x, 0.0, 0.0);
    cell[1] = lengths.y * glm::dvec3(cg, sg, 0.0);
    cell[2] = lengths.z * glm::dvec3(cb, cy, std::sqrt(std::max(0.0, 1.0 - cb * cb - cy * cy)));
    return cell;
}

uint32_t ElementOfSite(std::string_view type_symbol, std::string_view label)
{
    uint32_t idx = LeadingElement(type_symbol);
    if (idx == NO_ELEMENT)
        idx = LeadingElement(label);
    return idx == NO_ELEMENT ? DUMMY_ELEMENT : idx;
}

// What a block is, for a list of blocks: its formula, else one of its names.
std::string BlockTitle(const cif::Block &b)
{
    for (const char *tag : {"_chemical_formula_sum", "_chemical_name_mineral", "_chemical_name_common",
                            "_chemical_name_systematic"}) {
        const std::string *value = b.find_value(tag);
        if (value != nullptr && !cif::is_null(*value))
            return cif::as_string(*value);
    }
    return std::string();
}

bool Read(const std::string &text, const std::string &wanted, SRead &r, SBadCif &bad)
{
    try {
        cif::Document doc = cif::read_memory(text.data(), text.size(), "cif");
        for (const cif::Block &b : doc.blocks) {
            r.block_names.push_back(b.name);
            r.block_titles.push_back(BlockTitle(b));
        }
        cif::Block &block = ChooseBlock(doc, wanted);
        r.block_name = block.name;
        r.is_macromolecular = static_cast<bool>(block.find_values("_atom_site.Cartn_x"));
        if (r.is_macromolecular)
            MmcifEntry::Read(block, r);
        else
            ReadSites(text, block, r);
    } catch (const SBadCif &e) {
        bad = e;
        return false;
    } catch (const tao::pegtl::parse_error &e) {
        bad = SyntaxError(text, e);
        return false;
    } catch (const std::exception &e) {
        bad = {0, GemmiReason(e.what())};
        return false;
    }
    return true;
}

} // namespace CifReader
