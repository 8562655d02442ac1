#ifndef KIVOA_TESTS_IMGUI_DRIVER_H
#define KIVOA_TESTS_IMGUI_DRIVER_H

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <imgui.h>

#include <functional>
#include <string>
#include <vector>

// Runs real Dear ImGui frames without a window or renderer. Input goes into the IO block the way
// the GLFW back-end fills it (GLFW key codes); after each frame the text it drew is read back from
// the draw lists, so tests find widgets by what a user sees, like "Open" or "delta.pdb".
class ImGuiDriver {
public:
    using Ui = std::function<void()>;

    // One line of text as drawn: visible characters (spaces rebuilt from the glyph advances), its
    // box on screen, and its layer (later draw lists are on top).
    struct TextRun {
        std::string text;
        ImVec2 min;
        ImVec2 max;
        int layer = 0;
        ImVec2 Centre() const { return ImVec2((min.x + max.x) * 0.5f, (min.y + max.y) * 0.5f); }
    };

    explicit ImGuiDriver(ImVec2 displaySize = ImVec2(1280.0f, 720.0f));
    ~ImGuiDriver();
    ImGuiDriver(const ImGuiDriver&) = delete;
    ImGuiDriver& operator=(const ImGuiDriver&) = delete;

    void Frame(const Ui& ui);
    void Frames(int count, const Ui& ui);

    // Mouse: each call runs frames until the action is complete (move, press, release).
    void MoveMouse(ImVec2 pos, const Ui& ui);
    void ClickAt(ImVec2 pos, const Ui& ui);
    // Clicks the middle of the nth (topmost first) run whose text is exactly the visible part of
    // label (anything from "##" on is not drawn); false when no such text was drawn.
    bool ClickItem(const std::string& label, const Ui& ui, int nth = 0);
    // Clicks the close box in the title bar of the named window; false when it is not shown.
    bool ClickCloseButton(const char* windowName, const Ui& ui);

    // Keyboard: characters reach the focused text field; keys are GLFW key codes.
    void TypeText(const std::string& text, const Ui& ui);
    void PressKey(int glfwKey, const Ui& ui, bool ctrl = false);

    // Text drawn by the last frame, topmost layer first, in drawing order within a layer.
    const std::vector<TextRun>& Texts() const { return m_texts; }
    const TextRun* FindText(const std::string& text, int nth = 0) const;
    bool HasText(const std::string& text) const { return FindText(text) != nullptr; }

    // The named window was drawn by the last frame.
    static bool IsWindowShown(const char* name);
    // Full name ("Title##id") of the first window drawn by the last frame whose name starts with
    // prefix; empty when there is none.
    static std::string ShownWindowStartingWith(const std::string& prefix);
    static ImVec2 WindowPos(const char* name);
    static ImVec2 WindowSize(const char* name);

private:
    void ReadTexts();

    ImGuiContext* m_context;
    std::vector<TextRun> m_texts;
};

#endif
