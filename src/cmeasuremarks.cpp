#include "cmeasuremarks.h"

#include <algorithm>
#include <string>

#include <imgui.h>

#include "cdisplay.h"
#include "measure.h"

namespace {

// Atoms a measurement takes at most: a dihedral's four.
const size_t MAX_PICKED = 4;
const ImU32 MARK_COLOR = IM_COL32(255, 230, 0, 255);
const ImU32 MARK_FILL = IM_COL32(20, 20, 20, 220);
const float MARK_RADIUS = 10.0f;

} // namespace

void CMeasureMarks::NotePick(const CDisplay &atom)
{
    if (!atom.is_atom_selected) {
        v_picked.clear();
        return;
    }
    if (!is_adding)
        v_picked.clear();
    const uint32_t u = atom.selected_atom;
    if (std::find(v_picked.begin(), v_picked.end(), u) != v_picked.end())
        return;
    if (v_picked.size() == MAX_PICKED)
        v_picked.erase(v_picked.begin());
    v_picked.push_back(u);
}

void CMeasureMarks::ShowText(const CDisplay &atom) const
{
    const size_t n = v_picked.size();
    if (n < 2)
        return;
    glm::dvec3 p[MAX_PICKED];
    std::string atoms;
    for (size_t k = 0; k < n; k++) {
        if (v_picked[k] >= atom.v_real_xyz.size())
            return;
        p[k] = atom.v_real_xyz[v_picked[k]];
        atoms += (k > 0 ? "-" : "") + std::to_string(v_picked[k]);
    }
    const CMeasure measure = atom.Measurer();
    if (n == 2)
        ImGui::Text("Distance %s: %.4f \xC3\x85", atoms.c_str(), measure.Distance(p[0], p[1]));
    else if (n == 3)
        ImGui::Text("Angle %s: %.2f\xC2\xB0", atoms.c_str(), measure.Angle(p[0], p[1], p[2]));
    else
        ImGui::Text("Dihedral %s: %.2f\xC2\xB0", atoms.c_str(), measure.Dihedral(p[0], p[1], p[2], p[3]));
}

void CMeasureMarks::DrawMarks(const CDisplay &atom) const
{
    if (v_picked.size() < 2 || !atom.is_visible)
        return;
    ImDrawList *draw = ImGui::GetBackgroundDrawList();
    const ImVec2 display = ImGui::GetIO().DisplaySize;
    for (size_t k = 0; k < v_picked.size(); k++) {
        if (v_picked[k] >= atom.v_float_raw_xyz.size())
            continue;
        const glm::vec2 p = atom.ScreenPosition(v_picked[k], glm::vec2(display.x, display.y));
        const ImVec2 centre(p.x, p.y);
        const std::string number = std::to_string(k + 1);
        const ImVec2 size = ImGui::CalcTextSize(number.c_str());
        draw->AddCircleFilled(centre, MARK_RADIUS, MARK_FILL);
        draw->AddCircle(centre, MARK_RADIUS, MARK_COLOR, 0, 2.0f);
        draw->AddText(ImVec2(centre.x - size.x * 0.5f, centre.y - size.y * 0.5f), MARK_COLOR, number.c_str());
    }
}
