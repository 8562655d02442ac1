#include "cselection.h"

#include <algorithm>

#include "cview.h"

namespace {

bool Hidden(const std::vector<uint8_t> &hidden, size_t i) { return i < hidden.size() && hidden[i] != 0; }

} // namespace

void CSelection::Reset(size_t n)
{
    v_selected.assign(n, 0);
    u_count = 0;
    ++u_revision;
}

std::vector<uint32_t> CSelection::Atoms() const
{
    std::vector<uint32_t> atoms;
    atoms.reserve(u_count);
    for (size_t i = 0; i < v_selected.size(); ++i)
        if (v_selected[i] != 0)
            atoms.push_back(static_cast<uint32_t>(i));
    return atoms;
}

void CSelection::SelectOne(size_t i)
{
    Reset(v_selected.size());
    if (i < v_selected.size()) {
        v_selected[i] = 1;
        u_count = 1;
    }
}

void CSelection::SelectAll(const std::vector<uint8_t> &hidden)
{
    for (size_t i = 0; i < v_selected.size(); ++i)
        v_selected[i] = Hidden(hidden, i) ? 0 : 1;
    Recount();
}

void CSelection::Invert(const std::vector<uint8_t> &hidden)
{
    for (size_t i = 0; i < v_selected.size(); ++i)
        v_selected[i] = v_selected[i] != 0 || Hidden(hidden, i) ? 0 : 1;
    Recount();
}

void CSelection::Change(const std::vector<uint32_t> &atoms, EMode mode)
{
    if (mode == EMode::REPLACE)
        std::fill(v_selected.begin(), v_selected.end(), 0);
    for (uint32_t i : atoms)
        if (i < v_selected.size())
            v_selected[i] = mode == EMode::REMOVE ? 0 : 1;
    Recount();
}

void CSelection::SelectAppended(size_t n)
{
    v_selected.resize(n);
    SelectOne(n - 1);
}

void CSelection::Recount()
{
    u_count = static_cast<size_t>(std::count(v_selected.begin(), v_selected.end(), uint8_t(1)));
    ++u_revision;
}

std::vector<uint32_t> CSelection::InRectangle(const glm::mat4 &mvp, const std::vector<glm::vec3> &xyz,
                                              const std::vector<uint8_t> &hidden, glm::vec2 a, glm::vec2 b,
                                              glm::vec2 size)
{
    const glm::vec2 lo = glm::min(a, b), hi = glm::max(a, b);
    std::vector<uint32_t> inside;
    if (!(size.x > 0.0f && size.y > 0.0f))
        return inside;
    for (size_t i = 0; i < xyz.size(); ++i) {
        if (Hidden(hidden, i))
            continue;
        const glm::vec2 pixel = WindowPoint(mvp, xyz[i], size);
        if (pixel.x >= lo.x && pixel.x <= hi.x && pixel.y >= lo.y && pixel.y <= hi.y)
            inside.push_back(static_cast<uint32_t>(i));
    }
    return inside;
}
