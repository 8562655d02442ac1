#ifndef CSELECTION_H
#define CSELECTION_H

#include <cstdint>
#include <vector>
#include <glm/glm.hpp>

// The atoms the edits of the selection act on: a set built by a click (one atom), a box, an
// element, all, none or the inverse. Hidden atoms are never taken into it. Atom numbers are
// those of the model when the set was built; the set is reset whenever atoms are renumbered.
class CSelection {
public:
    // How a box or an element changes the set.
    enum class EMode { REPLACE, ADD, REMOVE };

    // What a box or an element does with Shift (add) or Alt (take out) held, else replace.
    static EMode ModeOf(bool is_shift, bool is_alt)
    {
        return is_shift ? EMode::ADD : is_alt ? EMode::REMOVE : EMode::REPLACE;
    }

    // n atoms, none selected.
    void Reset(size_t n);
    size_t Size() const { return v_selected.size(); }
    size_t Count() const { return u_count; }
    bool Has(size_t i) const { return i < v_selected.size() && v_selected[i] != 0; }
    // Per atom, 1 when selected.
    const std::vector<uint8_t> &Mask() const { return v_selected; }
    std::vector<uint32_t> Atoms() const;
    // Counts the changes, so that a view of the set knows when it is out of date.
    uint64_t Revision() const { return u_revision; }

    // Atom i alone (none when i is no atom).
    void SelectOne(size_t i);
    // `hidden` is the model's per-atom hidden list (empty when none is hidden).
    void SelectAll(const std::vector<uint8_t> &hidden);
    void Invert(const std::vector<uint8_t> &hidden);
    void Change(const std::vector<uint32_t> &atoms, EMode mode);
    // A new atom appended to the structure, selected alone.
    void SelectAppended(size_t n);

    // The atoms whose centres fall inside the window rectangle with corners a and b (pixels,
    // origin at the top left, either corner first) of a view of `size` pixels drawn with `mvp`
    // (projection x view x model): front and back alike, hidden atoms left out. A centre on an
    // edge is inside.
    static std::vector<uint32_t> InRectangle(const glm::mat4 &mvp, const std::vector<glm::vec3> &xyz,
                                             const std::vector<uint8_t> &hidden, glm::vec2 a, glm::vec2 b,
                                             glm::vec2 size);

private:
    std::vector<uint8_t> v_selected;
    size_t u_count = 0;
    uint64_t u_revision = 0;

    void Recount();
};

#endif
