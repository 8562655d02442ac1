#ifndef CFILEPANEL_H
#define CFILEPANEL_H

#include <memory>

#include "imguifilesystem.h"

class CDisplay;
class CDocument;

// The Choose File panel: the Input Format combo, the data blocks of a CIF that has several, Open,
// Reload, Save and Save As of the document, why the last of them failed (or a note on the file
// read), and the file shown. Needs a current ImGui frame.
class CFilePanel {
public:
    void Show(bool &is_shown, CDisplay &atom, CDocument &document);

    // Open reads a chosen file in the format its name suggests (the combo follows), as the
    // command line does; off, the combo's format is forced.
    bool is_by_name = true;

private:
    // The file choosers for Open and Save As, set up on the panel's first display.
    std::unique_ptr<ImGuiFs::Dialog> dlg;
    std::unique_ptr<ImGuiFs::Dialog> save_dlg;

    void Content(CDisplay &atom, CDocument &document);
    static void FormatCombo(CDisplay &atom, CDocument &document);
    static void BlockCombo(const CDisplay &atom, CDocument &document);
    void OpenButton(CDisplay &atom, CDocument &document);
    void SaveAsButton(const CDisplay &atom, CDocument &document);
    static void ShowMessage(const CDocument &document);
};

#endif
