#ifndef COVERLAP_H
#define COVERLAP_H

#include <cstdint>
#include <string>

class CAtoms;

// Atoms that sit on one another: an atom within half the smaller element-table radius of another
// (the nearest periodic image in a cell) is no place a user means to put it, and drawn inside the
// other it can't be seen.
class COverlap {
public:
    static constexpr uint32_t NONE = UINT32_MAX;
    // The first atom other than u that atom u overlaps; NONE when none.
    static uint32_t AtomOverlapping(const CAtoms &atoms, uint32_t u);
    // "Atom 8 (Si) lies on atom 3 (Si)", or empty when atom u overlaps none.
    static std::string Note(const CAtoms &atoms, uint32_t u);
};

#endif
