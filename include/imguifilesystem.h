#ifndef IMGUIFILESYSTEM_H
#define IMGUIFILESYSTEM_H

#include <memory>

#include <imgui.h>

namespace ImGuiFs {

// Modal file browser drawn with Dear ImGui. Call chooseFileDialog every frame from the same window;
// it draws nothing until triggered and returns the chosen path on the one frame a file is chosen.
// A click on a file selects it; a double click or the Choose button chooses it; Cancel or the
// close box closes the dialog without a choice.
class Dialog {
public:
    // Shared by all dialogs: default size, margins to the display edges (left, top, right, bottom),
    // extra flags of the modal, whether path buttons wrap, and whether entries fill rows instead of
    // columns.
    static ImVec2 WindowSize;
    static ImVec4 WindowLTRBOffsets;
    static ImGuiWindowFlags ExtraWindowFlags;
    static bool WrapMode;
    static bool BrowsingPerRow;
    // Optional: draws an icon for an entry (given its full path) just before its button.
    typedef void (*DrawIconCallback)(const char* path);
    static DrawIconCallback DrawFileIconCallback;
    static DrawIconCallback DrawFolderIconCallback;

    // Creating folders is not offered, so its option, the display-by option and the save-path
    // filter option are accepted for compatibility and have no effect.
    explicit Dialog(bool noKnownDirectoriesSection = false, bool noCreateDirectorySection = false,
                    bool noFilteringSection = false, bool detectKnownDirectoriesAtEachOpening = false,
                    bool addDisplayByOption = false, bool dontFilterSaveFilePathsEnteredByTheUser = false);
    ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // directory: starting folder, or a file whose folder to start in. fileFilterExtensionString:
    // extensions to list such as ".xyz;.pdb" (all files when null or empty). Non-positive size or
    // position components take the default size and a position centred on the mouse. windowAlpha
    // has no effect.
    const char* chooseFileDialog(bool dialogTriggerButton, const char* directory = nullptr,
                                 const char* fileFilterExtensionString = nullptr, const char* windowTitle = nullptr,
                                 const ImVec2& windowSize = ImVec2(-1, -1), const ImVec2& windowPos = ImVec2(-1, -1),
                                 float windowAlpha = 0.875f);

    // The same browser for a file to write: a name field under the listing (filled from
    // fileName's last component, and by a click on a listed file), and a Save button that reads
    // "Replace" when the named file exists. Returns the folder shown joined with the name (a name
    // starting with '/' as it is) on the one frame it is chosen.
    const char* saveFileDialog(bool dialogTriggerButton, const char* directory = nullptr,
                               const char* fileName = nullptr, const char* windowTitle = nullptr);

    const char* getChosenPath() const;
    const char* getLastDirectory() const;
    bool hasUserJustCancelledDialog() const;

private:
    struct Internal;
    std::unique_ptr<Internal> internal;
};

} // namespace ImGuiFs

#endif
