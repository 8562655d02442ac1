#include "imgui_driver.h"

#include <imgui_internal.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace {

constexpr float EPS = 0.01f;

using GlyphMap = std::map<std::pair<float, float>, const ImFontGlyph*>;

GlyphMap GlyphsByUv(const ImFont* font)
{
    GlyphMap glyphs;
    for (const ImFontGlyph& glyph : font->Glyphs)
        if (glyph.Visible)
            glyphs[{glyph.U0, glyph.V0}] = &glyph;
    return glyphs;
}

bool Inside(const ImVec2& p, const ImVec4& clip)
{
    return p.x >= clip.x && p.y >= clip.y && p.x <= clip.z && p.y <= clip.w;
}

// Collects glyph quads into lines of text. A line continues while the next glyph sits on the same
// baseline where the pen stopped, give or take whole spaces; anything else drawn in between ends it.
class RunBuilder {
public:
    RunBuilder(const ImFont* font, int layer, std::vector<ImGuiDriver::TextRun>& out)
        : m_font(font), m_space(font->FindGlyph(' ')->AdvanceX), m_layer(layer), m_out(out)
    {
    }
    ~RunBuilder() { Close(); }

    void Glyph(const ImFontGlyph& glyph, const ImVec2& topLeft)
    {
        const float penX = topLeft.x - glyph.X0;
        const float penY = topLeft.y - glyph.Y0;
        if (!m_open || std::fabs(penY - m_run.min.y) > EPS || !AppendSpaces(penX - m_penEnd)) {
            Close();
            m_run = ImGuiDriver::TextRun();
            m_run.min = ImVec2(penX, penY);
            m_run.layer = m_layer;
            m_open = true;
        }
        m_run.text += (char)glyph.Codepoint;
        m_penEnd = penX + glyph.AdvanceX;
        m_run.max = ImVec2(m_penEnd, penY + m_font->FontSize);
    }

    void Close()
    {
        if (m_open)
            m_out.push_back(m_run);
        m_open = false;
    }

private:
    bool AppendSpaces(float gap)
    {
        const float count = std::round(gap / m_space);
        if (count < 0.0f || count > 8.0f || std::fabs(gap - count * m_space) > EPS)
            return false;
        m_run.text.append((size_t)count, ' ');
        return true;
    }

    const ImFont* m_font;
    float m_space;
    int m_layer;
    std::vector<ImGuiDriver::TextRun>& m_out;
    ImGuiDriver::TextRun m_run;
    bool m_open = false;
    float m_penEnd = 0.0f;
};

void ReadDrawList(const ImDrawList* list, const ImFont* font, const GlyphMap& glyphs, int layer,
                  std::vector<ImGuiDriver::TextRun>& out)
{
    RunBuilder runs(font, layer, out);
    for (const ImDrawCmd& cmd : list->CmdBuffer) {
        const ImDrawIdx* idx = list->IdxBuffer.Data + cmd.IdxOffset;
        const ImDrawVert* vtx = list->VtxBuffer.Data + cmd.VtxOffset;
        for (unsigned i = 0; i + 2 < cmd.ElemCount; i += 3) {
            const ImDrawVert& a = vtx[idx[i]];
            const ImDrawVert& b = vtx[idx[i + 1]];
            const ImDrawVert& c = vtx[idx[i + 2]];
            // ImGui cuts glyphs that cross a clip edge (descenders in small buttons), which moves
            // their right and bottom texture coordinates; the top-left corner stays.
            const auto found = glyphs.find({a.uv.x, a.uv.y});
            const bool isGlyph = found != glyphs.end() && b.uv.y == a.uv.y && c.uv.x == b.uv.x && b.uv.x > a.uv.x;
            if (!isGlyph) {
                runs.Close();
                continue;
            }
            const ImVec2 centre((a.pos.x + c.pos.x) * 0.5f, (a.pos.y + c.pos.y) * 0.5f);
            if (Inside(centre, cmd.ClipRect))
                runs.Glyph(*found->second, a.pos);
            else
                runs.Close();
            i += 3; // the quad's second triangle
        }
    }
}

std::string VisibleLabel(const std::string& label)
{
    return label.substr(0, label.find("##"));
}

} // namespace

ImGuiDriver::ImGuiDriver(ImVec2 displaySize)
{
    IMGUI_CHECKVERSION();
    m_context = ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    io.DisplaySize = displaySize;
    unsigned char* pixels = nullptr;
    int width = 0, height = 0;
    io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);

    const std::pair<ImGuiKey, int> keys[] = {
        {ImGuiKey_Tab, GLFW_KEY_TAB},           {ImGuiKey_LeftArrow, GLFW_KEY_LEFT},
        {ImGuiKey_RightArrow, GLFW_KEY_RIGHT},  {ImGuiKey_UpArrow, GLFW_KEY_UP},
        {ImGuiKey_DownArrow, GLFW_KEY_DOWN},    {ImGuiKey_PageUp, GLFW_KEY_PAGE_UP},
        {ImGuiKey_PageDown, GLFW_KEY_PAGE_DOWN}, {ImGuiKey_Home, GLFW_KEY_HOME},
        {ImGuiKey_End, GLFW_KEY_END},           {ImGuiKey_Insert, GLFW_KEY_INSERT},
        {ImGuiKey_Delete, GLFW_KEY_DELETE},     {ImGuiKey_Backspace, GLFW_KEY_BACKSPACE},
        {ImGuiKey_Space, GLFW_KEY_SPACE},       {ImGuiKey_Enter, GLFW_KEY_ENTER},
        {ImGuiKey_Escape, GLFW_KEY_ESCAPE},     {ImGuiKey_KeyPadEnter, GLFW_KEY_KP_ENTER},
        {ImGuiKey_A, GLFW_KEY_A},               {ImGuiKey_C, GLFW_KEY_C},
        {ImGuiKey_V, GLFW_KEY_V},               {ImGuiKey_X, GLFW_KEY_X},
        {ImGuiKey_Y, GLFW_KEY_Y},               {ImGuiKey_Z, GLFW_KEY_Z},
    };
    for (const auto& key : keys)
        io.KeyMap[key.first] = key.second;
}

ImGuiDriver::~ImGuiDriver()
{
    ImGui::DestroyContext(m_context);
}

void ImGuiDriver::Frame(const Ui& ui)
{
    ImGui::SetCurrentContext(m_context);
    ImGui::GetIO().DeltaTime = 1.0f / 60.0f;
    ImGui::NewFrame();
    ui();
    ImGui::Render();
    ReadTexts();
}

void ImGuiDriver::Frames(int count, const Ui& ui)
{
    for (int i = 0; i < count; ++i)
        Frame(ui);
}

void ImGuiDriver::MoveMouse(ImVec2 pos, const Ui& ui)
{
    ImGui::GetIO().MousePos = pos;
    Frame(ui);
}

void ImGuiDriver::ClickAt(ImVec2 pos, const Ui& ui)
{
    ImGuiIO& io = ImGui::GetIO();
    MoveMouse(pos, ui);
    io.MouseDown[0] = true;
    Frame(ui);
    io.MouseDown[0] = false;
    Frame(ui);
}

bool ImGuiDriver::ClickItem(const std::string& label, const Ui& ui, int nth)
{
    const TextRun* run = FindText(VisibleLabel(label), nth);
    if (run == nullptr)
        return false;
    ClickAt(run->Centre(), ui);
    return true;
}

bool ImGuiDriver::ClickCloseButton(const char* windowName, const Ui& ui)
{
    if (!IsWindowShown(windowName))
        return false;
    const ImGuiWindow* window = ImGui::FindWindowByName(windowName);
    const ImGuiStyle& style = ImGui::GetStyle();
    const float size = ImGui::GetFontSize();
    const ImVec2 centre(window->Pos.x + window->Size.x - style.FramePadding.x - size * 0.5f,
                        window->Pos.y + style.FramePadding.y + size * 0.5f);
    ClickAt(centre, ui);
    return true;
}

void ImGuiDriver::TypeText(const std::string& text, const Ui& ui)
{
    for (unsigned char c : text)
        ImGui::GetIO().AddInputCharacter(c);
    Frame(ui);
}

void ImGuiDriver::PressKey(int glfwKey, const Ui& ui, bool ctrl)
{
    ImGuiIO& io = ImGui::GetIO();
    io.KeyCtrl = ctrl;
    io.KeysDown[glfwKey] = true;
    Frame(ui);
    io.KeysDown[glfwKey] = false;
    Frame(ui);
    io.KeyCtrl = false;
}

const ImGuiDriver::TextRun* ImGuiDriver::FindText(const std::string& text, int nth) const
{
    for (const TextRun& run : m_texts)
        if (run.text == text && nth-- == 0)
            return &run;
    return nullptr;
}

bool ImGuiDriver::IsWindowShown(const char* name)
{
    const ImGuiWindow* window = ImGui::FindWindowByName(name);
    return window != nullptr && window->Active && !window->Hidden;
}

std::string ImGuiDriver::ShownWindowStartingWith(const std::string& prefix)
{
    for (const ImGuiWindow* window : ImGui::GetCurrentContext()->Windows)
        if (std::string(window->Name).rfind(prefix, 0) == 0 && window->Active && !window->Hidden)
            return window->Name;
    return std::string();
}

ImVec2 ImGuiDriver::WindowPos(const char* name)
{
    const ImGuiWindow* window = ImGui::FindWindowByName(name);
    return window != nullptr ? window->Pos : ImVec2(0.0f, 0.0f);
}

ImVec2 ImGuiDriver::WindowSize(const char* name)
{
    const ImGuiWindow* window = ImGui::FindWindowByName(name);
    return window != nullptr ? window->Size : ImVec2(0.0f, 0.0f);
}

void ImGuiDriver::ReadTexts()
{
    m_texts.clear();
    const ImDrawData* data = ImGui::GetDrawData();
    if (data == nullptr)
        return;
    const ImFont* font = ImGui::GetIO().Fonts->Fonts[0];
    const GlyphMap glyphs = GlyphsByUv(font);
    for (int layer = 0; layer < data->CmdListsCount; ++layer)
        ReadDrawList(data->CmdLists[layer], font, glyphs, layer, m_texts);
    std::stable_sort(m_texts.begin(), m_texts.end(),
                     [](const TextRun& a, const TextRun& b) { return a.layer > b.layer; });
}
