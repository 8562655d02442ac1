#ifndef CMEASUREMARKS_H
#define CMEASUREMARKS_H

#include <cstdint>
#include <vector>

class CDisplay;

// The atoms picked for a measurement (Shift+click adds), their distance, angle or dihedral as
// text and their numbered marks on the view. Drawing needs a current ImGui frame.
class CMeasureMarks {
public:
    // A resolved pick: a plain click starts the measurement with the atom it selected, a
    // Shift+click (is_adding) adds the atom (a fifth replaces the oldest); a click on no atom
    // ends it.
    void NotePick(const CDisplay &atom);
    void Clear() { v_picked.clear(); }
    // Distance, angle or dihedral of the picked atoms in the file's frame, to the nearest
    // periodic image in a periodic structure; nothing for fewer than two.
    void ShowText(const CDisplay &atom) const;
    // Numbered discs on the picked atoms, readable on any atom colour, behind the panels.
    void DrawMarks(const CDisplay &atom) const;

    // Atoms picked, in picking order; the first is the one a plain click selected. Empty while
    // no atom is selected.
    std::vector<uint32_t> v_picked;
    bool is_adding = false; // the pending pick came from a Shift+click
};

#endif
