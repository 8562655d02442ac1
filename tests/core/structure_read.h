#ifndef STRUCTURE_READ_H
#define STRUCTURE_READ_H

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include <glm/glm.hpp>

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

inline std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

#endif
