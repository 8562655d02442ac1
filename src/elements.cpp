#include "elements.h"

#include <cctype>
#include <cstring>

uint32_t ElementIndexOfSymbol(std::string s)
{
    if (s.empty())
        return NO_ELEMENT;
    s[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
    for (size_t k = 1; k < s.size(); ++k)
        s[k] = static_cast<char>(std::tolower(static_cast<unsigned char>(s[k])));
    for (unsigned int k = 0; k < 95; ++k)
        if (std::strncmp(s.c_str(), symbol_sorted[k], 2) == 0)
            return atom_index[k];
    for (unsigned int k = 95; k < periodic_table_atoms; ++k)
        if (s[0] == symbol_sorted[k][0])
            return atom_index[k];
    return NO_ELEMENT;
}
