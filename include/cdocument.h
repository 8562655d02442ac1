#ifndef CDOCUMENT_H
#define CDOCUMENT_H

#include <functional>
#include <string>

#include "cmodel.h"
#include "fileformats.h"

// The structure file shown: its path, folder and format, load, reload, save and save as, and the
// questions asked before a load or closing would lose unsaved edits. Whether edits are unsaved is
// the model's answer (its history's clean point). What failed last is kept as a message for the
// user. No GUI here: a question is asked by setting it, and answered through Answer.
class CDocument {
public:
    // The question waiting for the user's answer.
    enum class EQuestion { NONE, UNSAVED_EDITS, CHANGED_ON_DISK };
    enum class EAnswer { NONE, SAVE, DISCARD, CANCEL, OVERWRITE, RELOAD };
    // What the answer lets go on.
    enum class EPending { NONE, LOAD, CLOSE };

    // `on_read` runs after each successful read, for the views of the model; its argument is
    // true for a Reload (the file shown read again), false for another file.
    explicit CDocument(CModel &model, std::function<void(bool is_reload)> on_read = {});

    // The "Input Format" label of a format code.
    static const char *FormatLabel(int format);

    const std::string &Path() const { return path; }
    const std::string &Folder() const { return folder; }
    // Why the last load or save failed; empty after a success.
    const std::string &Message() const { return message; }
    void ClearMessage() { message.clear(); }
    // What the user should know about the file read last although it was read (a CIF without
    // symmetry read as P1); empty when nothing.
    const std::string &Note() const { return note; }
    bool HasUnsavedEdits() const { return !model.IsUpdated(); }

    // Reads `file` (in `dir`) with `format`, once unsaved edits are answered for. The path and
    // folder change only once the file has been read, so that Save and Reload keep naming the
    // file of the structure shown.
    void Open(const std::string &dir, const std::string &file, int format);
    // Open by a path as given (the command line, a drop): named by its absolute form.
    void OpenByName(const std::string &given, int format);
    // Reads the file shown again: with the format the user chose (ChooseFormat) since the last
    // load, to read a misread file otherwise, else with the format (and CIF data block) it was
    // read with.
    void Reload();
    void ChooseFormat(int format) { i_chosen_format = format; }
    // Reads data block `block` of the CIF shown instead of the one shown.
    void OpenBlock(const std::string &block);
    // Writes the structure to its file; false (edits kept, the message says why) on failure.
    // When another program changed the file since it was read, nothing is written and the
    // changed-on-disk question is asked. Nothing is written, and Save As is wanted instead
    // (TakeSaveAsWanted), for a format whose file is not rewritten in place (CIF) and for a
    // supercell made since the file was named (a new structure, offered SuggestedPath).
    bool Save();
    // The name Save As offers: the file's, with a new supercell's repeats and, for a file not
    // rewritten in place, "_P1" before its extension (Si.vasp, Si_2x2x1.vasp, Si_2x2x1_P1.cif).
    std::string SuggestedPath() const;
    static std::string NameWithSuffix(const std::string &path, const std::string &suffix);
    // Writes the structure to `target` in the format its name says (the format read when it
    // says none), which from then on is the structure's file. A file written in another format,
    // or in one not rewritten in place, is read back, so that Save and Reload go on with what
    // it holds. The load or close that waited for a Save wanting Save As goes on after success.
    bool SaveAs(const std::string &target);
    // True once after a Save that wants Save As: the caller offers the Save As chooser now.
    bool TakeSaveAsWanted();
    // The user closed that chooser without a name: what waited for the save is dropped.
    void CancelSaveAs() { after_save_as = EPending::NONE; }
    // The window was asked to close: true when it may, false when a question comes first.
    bool RequestClose();

    EQuestion Question() const { return question; }
    EPending Pending() const { return pending; }
    // Cancel drops what waited; Discard lets it go on; Save lets it go on once the save has
    // succeeded. False when that save failed (nothing else happened) or wants Save As first (what
    // waited then waits for it). To the changed-on-disk question, Overwrite saves anyway and lets
    // what waited go on; Reload reads the file again, dropping the edits and what waited.
    bool Answer(EAnswer answer);
    // The user let the window close.
    bool IsCloseConfirmed() const { return is_close_confirmed; }

private:
    struct SLoad {
        std::string dir, file;
        int format = 0;
        bool is_reload = false; // the file shown: its name stays
        std::string block;      // a CIF's data block; empty for the first with atoms
    };

    CModel &model;
    std::function<void(bool)> on_read;
    std::string path, folder, message, note;
    EQuestion question = EQuestion::NONE;
    EPending pending = EPending::NONE;
    SLoad pending_load;
    bool is_close_confirmed = false;
    bool is_save_as_wanted = false;
    // What waits for the Save As that a Save wanted.
    EPending after_save_as = EPending::NONE;
    // The supercells in effect when the file shown was named (read or saved as).
    int i_named_supercells = 0;
    // The format the user chose since the last load (read or not); NO_FORMAT when none.
    int i_chosen_format = NO_FORMAT;

    void RequestLoad(const SLoad &load);
    void Ask(EPending what);
    void RunLoad(const SLoad &load);
    // The file and CIF block shown, to read again.
    SLoad ShownFile() const;
    void RunPending(EPending what);
    bool Write(const std::string &target, bool overwrite = false);
    bool AnswerChanged(EAnswer answer, EPending what);
    std::string Failure(const char *what, const std::string &file, int format) const;
};

#endif
