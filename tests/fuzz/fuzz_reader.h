#ifndef FUZZ_READER_H
#define FUZZ_READER_H

// One fuzz input goes through a reader the way a chosen file does. Whatever reads must be a
// sound structure that saves as the very bytes read; and with its first atom re-typed and its
// last deleted, the saved file (if the save does not refuse) must read back to those atoms, the
// others exactly where they were.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <glm/glm.hpp>
#include <unistd.h>

#include "clinepieces.h"
#include "elements.h"

namespace fuzz {

inline const std::string &Folder()
{
    static const std::string folder = [] {
        const char *tmp = std::getenv("TMPDIR");
        std::string name = std::string(tmp != nullptr ? tmp : "/tmp") + "/kivoa-fuzz-XXXXXX";
        if (mkdtemp(name.data()) == nullptr)
            std::abort();
        return name;
    }();
    return folder;
}

inline void Write(const std::string &path, const uint8_t *data, size_t size)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0)
        std::abort();
}

inline void Check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

inline std::string Bytes(const std::string &path)
{
    std::string text;
    FILE *f = std::fopen(path.c_str(), "rb");
    Check(f != nullptr, "a saved file opens");
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
        text.append(buffer, n);
    std::fclose(f);
    return text;
}

// Re-types the first atom and deletes the last, as the model's edits do, saves and reads back.
template <class T>
void EditSaveRead(T &reader, std::vector<glm::dvec3> xyz, std::vector<uint32_t> index, const std::string &out)
{
    if (xyz.size() < 2)
        return;
    index[0] = index[0] == 7 ? 5 : 7; // oxygen, or carbon for an oxygen
    reader.v_atom_origin.pop_back();
    xyz.pop_back();
    index.pop_back();
    // A save that could not write the edits so that they read back refuses, and says why.
    if (!reader.SaveFile(Folder(), out, xyz, index)) {
        Check(!reader.error_message.empty(), "a refused save says why");
        return;
    }
    T again;
    std::vector<glm::dvec3> xyz2;
    std::vector<uint32_t> index2;
    Check(again.ReadFile(Folder(), out, xyz2, index2), "an edited file reads back");
    Check(index2 == index, "the edited elements after a save");
    Check(xyz2 == xyz, "untouched coordinates stay exactly");
}

inline bool Finite(const glm::dvec3 &p)
{
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// The same file read in pieces of a few bytes on several threads gives what one pass gave.
template <class T>
void CheckPieces(const std::string &in, bool ok, const T &reader, const std::vector<glm::dvec3> &xyz,
                 const std::vector<uint32_t> &index, size_t piece_bytes)
{
    CLinePieces::SetSplitForTesting(piece_bytes, 3);
    T pieces;
    std::vector<glm::dvec3> xyz2;
    std::vector<uint32_t> index2;
    const bool ok2 = pieces.ReadFile(Folder(), in, xyz2, index2);
    CLinePieces::SetSplitForTesting(0, 0);
    Check(ok2 == ok && pieces.error_message == reader.error_message, "the same outcome read in pieces");
    Check(xyz2 == xyz && index2 == index && pieces.v_source_line == reader.v_source_line,
          "the same atoms read in pieces");
}

// `tolerance` bounds the difference of a coordinate written and read back, relative to the
// larger of 1 and its size; a negative one skips the comparison.
template <class T>
int ReadSaveRead(const uint8_t *data, size_t size, const char *name, double tolerance)
{
    const std::string in = Folder() + "/" + name;
    const std::string out = Folder() + "/saved-" + name;
    Write(in, data, size);
    T reader;
    std::vector<glm::dvec3> xyz;
    std::vector<uint32_t> index;
    const bool ok = reader.ReadFile(Folder(), in, xyz, index);
    CheckPieces(in, ok, reader, xyz, index, 1 + size % 97);
    if (!ok) {
        Check(!reader.error_message.empty(), "a failed read gives a reason");
        return 0;
    }
    Check(!xyz.empty() && xyz.size() == index.size(), "atoms and elements in step");
    for (size_t i = 0; i < xyz.size(); ++i)
        Check(Finite(xyz[i]) && index[i] < periodic_table_atoms, "finite atoms, valid elements");
    Check(reader.SaveFile(Folder(), out, xyz, index), "what was read can be saved");
    Check(Bytes(out) == std::string(reinterpret_cast<const char *>(data), size), "an unedited save is the file read");
    T again;
    std::vector<glm::dvec3> xyz2;
    std::vector<uint32_t> index2;
    Check(again.ReadFile(Folder(), out, xyz2, index2), "a saved file reads back");
    Check(index2 == index, "the same elements after a save");
    Check(again.is_periodic == reader.is_periodic, "the same periodicity after a save");
    for (size_t i = 0; tolerance >= 0.0 && i < xyz.size(); ++i)
        for (int k = 0; k < 3; ++k)
            Check(std::fabs(xyz2[i][k] - xyz[i][k]) <= tolerance * std::fmax(1.0, std::fabs(xyz[i][k])),
                  "the same coordinates after a save");
    EditSaveRead(reader, xyz, index, out);
    return 0;
}

} // namespace fuzz

#endif
