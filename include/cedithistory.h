#ifndef CEDITHISTORY_H
#define CEDITHISTORY_H

#include <cstdint>
#include <string>
#include <vector>
#include <glm/glm.hpp>

#include "cframeswitch.h"

// The edits of the structure shown, each kept as one step that can be undone and redone, and the
// clean point of the last load or save.
class CEditHistory : public CFrameSwitch {
public:
    // Edits. Each is kept in the history as one step, so that it can be undone and redone. The
    // atom lists name atoms by their number now; out-of-range and repeated numbers are ignored.
    // Moves atom u to v3 (display coordinates) and its file-frame position with it.
    void SetNewCoordinates(uint32_t u, glm::vec3 &v3);
    // Moves atom u to p, given in the file's frame (exactly as a save writes it).
    void MoveAtom(uint32_t u, const glm::dvec3 &p);
    // Moves the atoms by `shift` (file frame, angstrom).
    void MoveAtoms(const std::vector<uint32_t> &atoms, const glm::dvec3 &shift);
    void SetElement(uint32_t num, uint32_t idx);
    void SetElements(const std::vector<uint32_t> &atoms, uint32_t idx);
    void DeleteAtomIndex(uint32_t u);
    // Deletes the atoms in one pass: the others keep their order and their bonds.
    void DeleteAtoms(const std::vector<uint32_t> &atoms);
    // Appends an atom of element idx at p (file frame); false (why says why) when idx is no
    // element, p is not a finite position or the structure is a trajectory, whose frames keep the
    // atoms read.
    bool AddAtom(uint32_t idx, const glm::dvec3 &p, std::string &why);
    // Repeats a periodic structure n.x x n.y x n.z times (1 to 20 each) along its cell vectors,
    // the copies after the atoms in the order of ASE's Atoms.repeat; false (why says why) when
    // refused, as it is for a trajectory.
    bool MakeSupercell(const glm::ivec3 &n, std::string &why);
    static constexpr int MAX_SUPERCELL = 20;
    // Supercells in effect: the structure shown is then a new one, to be saved under a new name.
    int SupercellsInEffect() const;
    glm::ivec3 SupercellRepeat() const;
    // Moves every atom of a periodic structure into the cell along its periodic axes; false when
    // the structure is not periodic. No step is kept when no atom moves.
    bool WrapIntoCell();
    // Moves the file-frame coordinates so that the centre of the bounding box read is the origin.
    void CenterZero();
    // Whether the step Undo (or Redo) would take next is a supercell or a wrap, which change the
    // structure's extent.
    bool IsExtentStep(bool is_undo) const;
    bool CanUndo() const { return u_history_done > 0; }
    bool CanRedo() const { return u_history_done < v_history.size(); }
    // Steps back or forward through the edits; false when there is none.
    bool Undo();
    bool Redo();
    // True when the edits in effect are those of the last load or save (the history's clean
    // point): nothing is unsaved.
    bool IsUpdated() const { return u_history_done == u_history_clean; }
    // The frame of the last deletion, element change, added atom or wrap in effect, which acts on
    // every frame with the same atoms; false when there is none.
    bool LastFramesEdit(uint64_t &frame) const;

protected:
    void MarkClean();
    void ForgetHistory();

private:
    // One edit, with what undoing it exactly needs.
    struct SEdit {
        enum EKind { MOVE, ELEMENT, DELETE, ADD, CENTER, SUPERCELL } kind;
        explicit SEdit(EKind k) : kind(k) {}
        // The frame shown when the edit was made; undo and redo show it again.
        uint64_t frame = 0;
        // The atoms edited, ascending (for ADD the new atom); for ELEMENT and MOVE what they were
        // before (their element; their place in the file frame and drawn) and, for MOVE, after.
        std::vector<uint32_t> atoms;
        std::vector<uint32_t> element_before;
        std::vector<glm::dvec3> before, after;
        std::vector<glm::vec3> drawn_before;
        uint32_t element_after = 0;
        // MOVE: a wrap, and one that also wraps the other frames with the same atoms.
        bool is_wrap = false;
        bool is_frames_wrap = false;
        // DELETE: what the atoms held, the atom read each is, and the bonds that went with them.
        SAtomsRemoved removed;
        std::vector<uint32_t> origin;
        SBondsRemoved bonds;
        // CENTER: the shift and the file frame it replaced (every atom moves); SUPERCELL: the
        // repeats, and the atom count and cell before.
        glm::dvec3 shift{0.0}, origin_before{0.0};
        std::vector<glm::dvec3> frame_before;
        glm::ivec3 repeat{1};
        uint32_t count_before = 0;
        glm::dmat3 cell_before{1.0};
    };
    static constexpr size_t NO_CLEAN_POINT = ~size_t(0);
    std::vector<SEdit> v_history;
    // Edits in effect, and how many were in effect at the last load or save.
    size_t u_history_done = 0;
    size_t u_history_clean = 0;

    void Record(SEdit e);
    bool ShowFrameOf(const SEdit &e);
    void Apply(SEdit &e, bool forward);
    SEdit MoveEdit(const std::vector<uint32_t> &atoms, std::vector<glm::dvec3> after) const;
    void ApplyMove(const SEdit &e, bool forward);
    void RemoveAtoms(SEdit &e);
    void InsertAtoms(const SEdit &e);
    // An atom appended with the file's record of `like` (NO_ATOM: a new one).
    void AppendFileAtom(uint32_t idx, const glm::dvec3 &p, uint32_t like);
    void TruncateFileAtoms(size_t n);
    void Repeat(const SEdit &e);
    void SetCell(const glm::dmat3 &cell);
};

#endif
