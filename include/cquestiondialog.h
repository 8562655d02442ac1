#ifndef CQUESTIONDIALOG_H
#define CQUESTIONDIALOG_H

#include "cdocument.h"

// The document's question as a modal in the middle of the window: its text and one button per
// answer. Needs a current ImGui frame.
class CQuestionDialog {
public:
    // Opens the question once no other modal (the file chooser that asked) is open; returns the
    // answer clicked in this frame, EAnswer::NONE while there is none.
    static CDocument::EAnswer Show(const CDocument &document);
};

#endif
