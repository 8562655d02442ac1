#include "ccif.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>

#include <gemmi/cif.hpp>
#include <gemmi/mmcif.hpp>
#include <gemmi/symmetry.hpp>
// gemmi's PDB writer (and the stb_sprintf it formats with), built here once.
#define GEMMI_WRITE_IMPLEMENTATION
#include <gemmi/to_pdb.hpp>
#undef GEMMI_WRITE_IMPLEMENTATION

#include "elements.h"

namespace cif = gemmi::cif;

namespace {

// Images of one site closer than this along each axis (fractional, modulo 1) are one atom.
constexpr double MERGE_DISTANCE = 1e-3;
// Fractional coordinates beyond this lose every digit that places the atom in its cell.
constexpr double MAX_FRACTION = 1e6;
constexpr int MAX_DISORDER_GROUPS = 255;

const char *const LENGTH_TAGS[3] = {"_cell_length_a", "_cell_length_b", "_cell_length_c"};
const char *const ANGLE_TAGS[3] = {"_cell_angle_alpha", "_cell_angle_beta", "_cell_angle_gamma"};
const char *const FRACT_TAGS[3] = {"_atom_site_fract_x", "_atom_site_fract_y", "_atom_site_fract_z"};
const char *const CARTN_TAGS[3] = {"_atom_site_Cartn_x", "_atom_site_Cartn_y", "_atom_site_Cartn_z"};
// Old and new names of the same data, the first found is taken.
const char *const OPERATION_TAGS[] = {"_space_group_symop_operation_xyz", "_symmetry_equiv_pos_as_xyz",
                                      "_space_group_symop.operation_xyz"};
const char *const HALL_TAGS[] = {"_space_group_name_Hall", "_symmetry_space_group_name_Hall"};
const char *const NAME_TAGS[] = {"_space_group_name_H-M_alt", "_symmetry_space_group_name_H-M"};
const char *const NUMBER_TAGS[] = {"_space_group_IT_number", "_symmetry_Int_Tables_number"};

// A reason to refuse the file, with the line it concerns.
struct SBadCif {
    uint32_t line;
    std::string reason;
};

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
    cell = CCif::CellOfParameters(lengths, angles);
    return true;
}

// ---- symmetry ------------------------------------------------------------------

struct SOperation {
    glm::dmat3 rotation{1.0};
    glm::dvec3 translation{0.0};
};

// A space-group name as files write it: spaces, screw-axis underscores, a trailing setting
// letter (ICSD's "S"/"Z" for origin choice 1/2, "H"/"R") and cubic names without the bar
// ("F d 3 m") are all taken.
const gemmi::SpaceGroup *FindSpaceGroup(const std::string &name, double alpha, double gamma)
{
    if (const gemmi::SpaceGroup *sg = gemmi::find_spacegroup_by_name(name, alpha, gamma))
        return sg;
    std::string symbol, setting;
    const size_t colon = name.find(':');
    for (char ch : name.substr(0, colon))
        if (!CTextFile::IsSpace(ch) && ch != '_')
            symbol += ch;
    if (colon != std::string::npos)
        setting = ":" + name.substr(colon + 1);
    const std::string trimmed(CTextFile::Trim(name.substr(0, colon)));
    const size_t last_space = trimmed.rfind(' ');
    if (setting.empty() && last_space != std::string::npos && last_space + 2 == trimmed.size()) {
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(trimmed.back())));
        const char *choice = letter == 'S' ? "1" : letter == 'Z' ? "2" : letter == 'H' ? "H" : letter == 'R' ? "R" : nullptr;
        if (choice != nullptr) {
            symbol.pop_back();
            setting = std::string(":") + choice;
        }
    }
    if (const gemmi::SpaceGroup *sg = gemmi::find_spacegroup_by_name(symbol + setting, alpha, gamma))
        return sg;
    for (size_t k = 1; k < symbol.size(); ++k)
        if (symbol[k] == '3' && std::isalpha(static_cast<unsigned char>(symbol[k - 1])))
            return gemmi::find_spacegroup_by_name(symbol.substr(0, k) + "-" + symbol.substr(k) + setting, alpha, gamma);
    return nullptr;
}

SOperation ToOperation(const gemmi::Op &op)
{
    SOperation o;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            o.rotation[j][i] = static_cast<double>(op.rot[i][j]) / gemmi::Op::DEN;
        o.translation[i] = static_cast<double>(op.tran[i]) / gemmi::Op::DEN;
    }
    return o;
}

std::vector<SOperation> ToOperations(const gemmi::GroupOps &ops)
{
    std::vector<SOperation> out;
    for (const gemmi::Op &op : ops.all_ops_sorted())
        out.push_back(ToOperation(op));
    return out;
}

// One operation as the file writes it ("-x+1/2, y, -z"): gemmi reads it once the numbers are
// known to be small enough for its integer arithmetic, and it must map the lattice onto itself.
SOperation ParseOperation(const std::string &triplet, uint32_t line)
{
    const std::string shown = CTextFile::Shown(triplet);
    size_t digits = 0;
    for (char ch : triplet) {
        digits = std::isdigit(static_cast<unsigned char>(ch)) ? digits + 1 : 0;
        if (digits > 3)
            throw SBadCif{line, "symmetry operation " + shown + " has a number too long to be one"};
    }
    gemmi::Op op;
    try {
        op = gemmi::parse_triplet(triplet);
    } catch (const std::exception &e) {
        throw SBadCif{line, "symmetry operation " + shown + " does not read: " + e.what()};
    }
    int det = 0;
    bool whole = true;
    for (const auto &row : op.rot)
        for (int v : row)
            whole = whole && v % gemmi::Op::DEN == 0;
    if (whole)
        det = op.det_rot() / (gemmi::Op::DEN * gemmi::Op::DEN * gemmi::Op::DEN);
    if (!whole || (det != 1 && det != -1))
        throw SBadCif{line, "symmetry operation " + shown + " does not map the lattice onto itself"};
    return ToOperation(op);
}

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

bool SameImage(const glm::dvec3 &a, const glm::dvec3 &b)
{
    for (int k = 0; k < 3; ++k) {
        const double d = std::fabs(a[k] - b[k]);
        if (std::min(d, 1.0 - d) > MERGE_DISTANCE)
            return false;
    }
    return true;
}

// The site's distinct images in the cell, in the order of the operations.
void Expand(const glm::dvec3 &site, const std::vector<SOperation> &ops, std::vector<glm::dvec3> &images)
{
    images.clear();
    for (const SOperation &op : ops) {
        glm::dvec3 p = op.rotation * site + op.translation;
        for (int k = 0; k < 3; ++k)
            p[k] = Wrap(p[k]);
        if (std::none_of(images.begin(), images.end(), [&](const glm::dvec3 &q) { return SameImage(p, q); }))
            images.push_back(p);
    }
}

// The element symbol at the start of `text`: its first letter and the next when that makes a
// symbol (letters in any case when `any_case`, else the second lower case as labels write it).
uint32_t LeadingElement(std::string_view text, bool any_case)
{
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0])))
        return NO_ELEMENT;
    std::string one(1, static_cast<char>(std::toupper(static_cast<unsigned char>(text[0]))));
    if (text.size() > 1 && std::isalpha(static_cast<unsigned char>(text[1])) &&
        (any_case || std::islower(static_cast<unsigned char>(text[1])))) {
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

} // namespace

// ---- CCif ---------------------------------------------------------------------------

glm::dmat3 CCif::CellOfParameters(const glm::dvec3 &lengths, const glm::dvec3 &angles)
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

uint32_t CCif::ElementOfSite(std::string_view type_symbol, std::string_view label)
{
    uint32_t idx = LeadingElement(type_symbol, true);
    if (idx == NO_ELEMENT)
        idx = LeadingElement(label, false);
    return idx == NO_ELEMENT ? DUMMY_ELEMENT : idx;
}

std::string CCif::LabelOf(uint32_t i) const
{
    return i < v_atom_origin.size() && v_atom_origin[i] < v_label.size() ? v_label[v_atom_origin[i]] : "";
}

double CCif::OccupancyOf(uint32_t i) const
{
    return i < v_atom_origin.size() && v_atom_origin[i] < v_occupancy.size() ? v_occupancy[v_atom_origin[i]] : 1.0;
}

bool CCif::ReadFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index)
{
    CCif prototype;
    prototype.block_wanted = block_wanted;
    if (!ReadInto(*this, d, f, xyz, index, std::move(prototype)))
        return false;
    source_path = f;
    return true;
}

namespace {

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

// What a block gives, before it becomes the handler's.
struct SRead {
    glm::dmat3 cell{1.0};
    bool is_periodic = false;
    std::vector<glm::dvec3> xyz;
    std::vector<uint32_t> index;
    std::vector<std::string> label;
    std::vector<double> occupancy;
    std::vector<uint8_t> group;
    std::string symmetry = "none";
    size_t operations = 1;
    std::shared_ptr<const gemmi::Structure> entry;
};

void CheckPosition(const glm::dvec3 &p, uint32_t line)
{
    for (int k = 0; k < 3; ++k)
        if (!(std::fabs(p[k]) <= CStructureFile::MAX_COORDINATE))
            throw SBadCif{line, "the atom lies beyond 1e15 angstrom from the origin"};
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
    const std::vector<SOperation> ops =
        fractional ? ReadSymmetry(text, block, angles, r.symmetry) : std::vector<SOperation>{SOperation{}};
    r.operations = ops.size();
    const glm::dmat3 inverse = glm::inverse(r.cell);
    const bool has_occupancy = t.Has(OCCUPANCY);
    CGroups groups;
    std::vector<glm::dvec3> images;
    for (size_t row = 0; row < t.Rows(); ++row) {
        glm::dvec3 p;
        for (int k = 0; k < 3; ++k)
            p[k] = t.Number(k, row, "coordinate");
        if (fractional && !(glm::all(glm::lessThanEqual(glm::abs(p), glm::dvec3(MAX_FRACTION)))))
            throw SBadCif{t.Line(X, row), "fractional coordinates beyond 1e6 place no atom"};
        if (!fractional) {
            CheckPosition(p, t.Line(X, row));
            p = r.is_periodic ? inverse * p : p;
        }
        const std::string label = t.Text(LABEL, row);
        const uint32_t element = CCif::ElementOfSite(t.Text(TYPE, row), label);
        double occupancy = 1.0;
        if (has_occupancy && !t.IsNull(OCCUPANCY, row)) {
            occupancy = t.Number(OCCUPANCY, row, "occupancy");
            if (!(occupancy >= 0.0))
                throw SBadCif{t.Line(OCCUPANCY, row), "occupancy " + t.Text(OCCUPANCY, row) + " is below 0"};
        }
        const uint8_t group = groups.Code(t.Text(GROUP, row), t.Has(GROUP) ? t.Line(GROUP, row) : 0);
        if (fractional || r.is_periodic)
            Expand(p, ops, images);
        else
            images.assign(1, p);
        for (const glm::dvec3 &f : images) {
            r.xyz.push_back(fractional || r.is_periodic ? r.cell * f : f);
            r.index.push_back(element);
            r.label.push_back(label);
            if (has_occupancy)
                r.occupancy.push_back(occupancy);
            r.group.push_back(group);
        }
    }
    if (!groups.Any())
        r.group.clear();
    if (r.xyz.empty())
        throw SBadCif{t.Line(X, 0), "the atom site loop has no atoms"};
}

uint32_t ElementOfGemmi(const gemmi::Element &e)
{
    const std::string symbol = e.name();
    const uint32_t idx = ElementIndexOfSymbol(symbol);
    return idx != NO_ELEMENT && symbol == SymbolOf(idx) ? idx : DUMMY_ELEMENT;
}

// A macromolecular entry, read by gemmi as a PDB entry is: the first model, every alternate
// location.
void ReadMacromolecule(cif::Block &block, SRead &r)
{
    auto entry = std::make_shared<gemmi::Structure>(gemmi::make_structure_from_block(block));
    const gemmi::Structure &st = *entry;
    if (st.models.empty())
        throw SBadCif{0, "the entry has no model"};
    for (const gemmi::Chain &chain : st.models.front().chains)
        for (const gemmi::Residue &residue : chain.residues)
            for (const gemmi::Atom &a : residue.atoms) {
                const glm::dvec3 p(a.pos.x, a.pos.y, a.pos.z);
                CheckPosition(p, 0);
                r.xyz.push_back(p);
                r.index.push_back(ElementOfGemmi(a.element));
                r.label.push_back(a.name);
                r.occupancy.push_back(a.occ);
                r.group.push_back(static_cast<uint8_t>(a.altloc));
            }
    if (r.xyz.empty())
        throw SBadCif{0, "the first model has no atoms"};
    if (std::all_of(r.group.begin(), r.group.end(), [](uint8_t c) { return c == 0; }))
        r.group.clear();
    r.is_periodic = st.cell.is_crystal();
    if (r.is_periodic)
        r.cell = CCif::CellOfParameters(glm::dvec3(st.cell.a, st.cell.b, st.cell.c),
                                        glm::dvec3(st.cell.alpha, st.cell.beta, st.cell.gamma));
    r.entry = std::move(entry);
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

bool CCif::Parse(const std::string &, CTextFile &file, std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index)
{
    const std::string text = file.TakeText();
    SRead r;
    try {
        cif::Document doc = cif::read_memory(text.data(), text.size(), "cif");
        for (const cif::Block &b : doc.blocks)
            v_block_names.push_back(b.name);
        cif::Block &block = ChooseBlock(doc, block_wanted);
        block_name = block.name;
        is_macromolecular = static_cast<bool>(block.find_values("_atom_site.Cartn_x"));
        if (is_macromolecular)
            ReadMacromolecule(block, r);
        else
            ReadSites(text, block, r);
    } catch (const SBadCif &e) {
        return e.line == 0 ? Fail(e.reason) : Fail(e.line, e.reason);
    } catch (const tao::pegtl::parse_error &e) {
        const SBadCif bad = SyntaxError(text, e);
        return Fail(bad.line, bad.reason);
    } catch (const std::exception &e) {
        return Fail(GemmiReason(e.what()));
    }
    cell_xyz = r.cell;
    is_periodic = r.is_periodic;
    if (const char *fault = is_periodic ? CellFault() : nullptr)
        return Fail(fault);
    symmetry_source = r.symmetry;
    u_operations = static_cast<uint32_t>(r.operations);
    if (r.symmetry == "none" && !is_macromolecular && is_periodic)
        notice = "block " + block_name + " gives no symmetry operations, Hall symbol or space-group name: read as P1";
    entry = std::move(r.entry);
    v_label = std::move(r.label);
    v_occupancy = std::move(r.occupancy);
    v_atom_altloc = std::move(r.group);
    xyz = std::move(r.xyz);
    index = std::move(r.index);
    return true;
}

// ---- P1 writer -------------------------------------------------------------------------

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

std::string CCif::P1Text(const std::vector<glm::dvec3> &xyz, const std::vector<uint32_t> &index) const
{
    std::string text = "data_" + BlockNameOf(source_path.empty() ? block_name : source_path) + "\n";
    if (is_periodic) {
        glm::dvec3 lengths, angles;
        CellParameters(SavedCell(), lengths, angles);
        for (int k = 0; k < 3; ++k) {
            text.append(LENGTH_TAGS[k]).append(" ");
            AppendExact(text, lengths[k]);
            text += '\n';
        }
        for (int k = 0; k < 3; ++k) {
            text.append(ANGLE_TAGS[k]).append(" ");
            AppendExact(text, angles[k]);
            text += '\n';
        }
        text += "_space_group_name_H-M_alt 'P 1'\nloop_\n_space_group_symop_operation_xyz\n'x, y, z'\n";
    }
    const bool has_occupancy = !v_occupancy.empty() && v_atom_origin.size() == xyz.size();
    text += "loop_\n_atom_site_label\n_atom_site_type_symbol\n";
    for (const char *tag : is_periodic ? FRACT_TAGS : CARTN_TAGS)
        text.append(tag).append("\n");
    if (has_occupancy)
        text += "_atom_site_occupancy\n";
    const glm::dmat3 inverse = is_periodic ? glm::inverse(SavedCell()) : glm::dmat3(1.0);
    // Labels are the key of the loop, so repeats of a site's label get a number.
    std::map<std::string, size_t> seen;
    for (size_t i = 0; i < xyz.size(); ++i) {
        const std::string symbol = SymbolOf(index[i]);
        std::string label = LabelOf(static_cast<uint32_t>(i));
        const bool retyped = v_atom_origin.size() == xyz.size() && index[i] != v_source_index[v_atom_origin[i]];
        if (label.empty() || retyped)
            label = symbol;
        for (char &c : label)
            if (CTextFile::IsSpace(c) || c == '\'' || c == '"' || c == '#')
                c = '_';
        const size_t n = ++seen[label];
        if (n > 1 || label == symbol)
            label += (label == symbol ? "" : "_") + std::to_string(n);
        text.append(label).append(" ").append(symbol);
        const glm::dvec3 p = inverse * xyz[i];
        for (int k = 0; k < 3; ++k) {
            text += ' ';
            AppendExact(text, p[k]);
        }
        if (has_occupancy) {
            text += ' ';
            AppendExact(text, OccupancyOf(static_cast<uint32_t>(i)));
        }
        text += '\n';
    }
    return text;
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

// ---- mmCIF entry as PDB ----------------------------------------------------------------

bool CCif::SaveEntryAsPdb(const std::string &f, const std::vector<glm::dvec3> &xyz,
                          const std::vector<uint32_t> &index)
{
    if (!entry)
        return Fail("only a macromolecular entry read from a CIF keeps its chains and residues in PDB");
    if (!CheckAtoms(xyz, index))
        return false;
    if (v_atom_origin.size() != xyz.size())
        return Fail("the atoms are not those of the entry read");
    // Where each atom read is now: its model index, or none once deleted.
    std::vector<int64_t> now(v_source_index.size(), -1);
    for (size_t i = 0; i < v_atom_origin.size(); ++i)
        now[v_atom_origin[i]] = static_cast<int64_t>(i);
    gemmi::Structure st = *entry;
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
                if (index[i] != v_source_index[k])
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
    std::ostringstream text;
    try {
        gemmi::write_pdb(st, text);
    } catch (const std::exception &e) {
        return Fail(std::string("the entry can't be written as PDB: ") + e.what());
    }
    return WriteText(f, text.str());
}
