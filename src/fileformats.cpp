#include "fileformats.h"

#include <algorithm>
#include <cctype>

#include "cmodel.h"

const SFileFormat FILE_FORMATS[7] = {
    {INPUT_FILE_TYPE_XYZ, "XYZ", "xyz", {"*.xyz"}},
    {INPUT_FILE_TYPE_VSP, "VASP", "vasp", {"POSCAR*", "CONTCAR*", "*.vasp", "*.poscar"}},
    {INPUT_FILE_TYPE_PDB, "PDB", "pdb", {"*.pdb", "*.ent"}},
    {INPUT_FILE_TYPE_XDATCAR, "VASP XDATCAR", "xdatcar", {"XDATCAR*"}},
    {INPUT_FILE_TYPE_CIF, "CIF", "cif", {"*.cif"}},
    {INPUT_FILE_TYPE_CHGCAR, "VASP CHGCAR", "chgcar",
     {"CHGCAR*", "CHG", "CHG_*", "PARCHG*", "AECCAR*", "LOCPOT*", "ELFCAR*"}},
    {INPUT_FILE_TYPE_CUBE, "Gaussian cube", "cube", {"*.cube", "*.cub"}},
};

namespace {

bool SameLetters(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool Matches(std::string_view base, std::string_view pattern)
{
    if (pattern.find('*') == std::string_view::npos)
        return SameLetters(base, pattern);
    if (pattern.front() == '*') {
        const std::string_view end = pattern.substr(1);
        return base.size() >= end.size() && SameLetters(base.substr(base.size() - end.size()), end);
    }
    const std::string_view start = pattern.substr(0, pattern.size() - 1);
    return base.size() >= start.size() && SameLetters(base.substr(0, start.size()), start);
}

} // namespace

int FormatOfName(std::string_view name)
{
    for (const SFileFormat &f : FILE_FORMATS)
        if (name == f.name)
            return f.code;
    return NO_FORMAT;
}

int FormatOfFileName(std::string_view path)
{
    const size_t slash = path.rfind('/');
    const std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
    for (const SFileFormat &f : FILE_FORMATS)
        for (const char *pattern : f.patterns)
            if (pattern != nullptr && Matches(base, pattern))
                return f.code;
    return NO_FORMAT;
}

const SFileFormat *FindFormat(int code)
{
    for (const SFileFormat &f : FILE_FORMATS)
        if (f.code == code)
            return &f;
    return nullptr;
}

int FormatByName(std::string_view path, int otherwise)
{
    const int suggested = FormatOfFileName(path);
    return suggested != NO_FORMAT ? suggested : otherwise;
}
