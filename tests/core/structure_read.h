#ifndef STRUCTURE_READ_H
#define STRUCTURE_READ_H

#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "elements.h"
#include "scratch_folder.h"

// What one reader made of one file: the reader itself (with its header state) and the atoms.
template <class TReader>
struct SRead {
    TReader reader;
    std::vector<glm::dvec3> xyz;
    std::vector<uint32_t> index;
    bool ok = false;
};

// `dir` is the folder handed to the reader, where a VASP reader looks for POTCAR.
template <class TReader>
SRead<TReader> ReadStructure(const std::string &dir, const std::string &path)
{
    SRead<TReader> r;
    r.ok = r.reader.ReadFile(dir, path, r.xyz, r.index);
    return r;
}

// Writes `text` to `name` in the scratch folder and reads it from there.
template <class TReader>
SRead<TReader> ReadStructureText(const ScratchFolder &dir, const std::string &name,
                                 const std::string &text)
{
    WriteText(dir / name, text);
    return ReadStructure<TReader>(dir.Path(), dir / name);
}

// "Cl4 Na4": the count of each element, by symbol.
inline std::string Formula(const std::vector<uint32_t> &index)
{
    std::map<std::string, size_t> count;
    for (uint32_t e : index)
        ++count[SymbolOf(e)];
    std::string text;
    for (const auto &[symbol, n] : count)
        text += (text.empty() ? "" : " ") + symbol + std::to_string(n);
    return text;
}

inline std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

#endif
