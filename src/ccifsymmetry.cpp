#include "ccifsymmetry.h"

#include <cctype>

#include <gemmi/symmetry.hpp>
#include <gemmi/util.hpp>

#include "ccifreader.h"
#include "ctextfile.h"

namespace CifSymmetry {

namespace {

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

} // namespace

const gemmi::SpaceGroup *FindSpaceGroup(const std::string &name, double alpha, double gamma)
{
    if (const gemmi::SpaceGroup *sg = gemmi::find_spacegroup_by_name(name, alpha, gamma))
        return sg;
    // A note in braces after the name ("R 3 c {rhombohedral axes}") names the setting.
    const size_t brace = name.find('{');
    if (brace != std::string::npos) {
        const std::string note = gemmi::to_lower(name.substr(brace));
        const char *axes = note.find("rhombohedral") != std::string::npos ? ":R"
                           : note.find("hexagonal") != std::string::npos  ? ":H"
                                                                          : "";
        return FindSpaceGroup(std::string(CTextFile::Trim(name.substr(0, brace))) + axes, alpha, gamma);
    }
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
            throw CifReader::SBadCif{line, "symmetry operation " + shown + " has a number too long to be one"};
    }
    gemmi::Op op;
    try {
        op = gemmi::parse_triplet(triplet);
    } catch (const std::exception &e) {
        throw CifReader::SBadCif{line, "symmetry operation " + shown + " does not read: " + e.what()};
    }
    int det = 0;
    bool whole = true;
    for (const auto &row : op.rot)
        for (int v : row)
            whole = whole && v % gemmi::Op::DEN == 0;
    if (whole)
        det = op.det_rot() / (gemmi::Op::DEN * gemmi::Op::DEN * gemmi::Op::DEN);
    if (!whole || (det != 1 && det != -1))
        throw CifReader::SBadCif{line, "symmetry operation " + shown + " does not map the lattice onto itself"};
    return ToOperation(op);
}

} // namespace CifSymmetry
