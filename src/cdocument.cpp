#include "cdocument.h"

#include <utility>

#include "cfspath.h"
#include "fileformats.h"

namespace {

// The absolute form of an existing path; the path as given when it cannot be resolved (the read
// then says why).
std::string Absolute(const std::string &given)
{
    const std::string resolved = ImGuiFs::Path::Resolve(given);
    return resolved.empty() ? given : resolved;
}

} // namespace

const char *CDocument::FormatLabel(int format)
{
    const SFileFormat *f = FindFormat(format);
    return f != nullptr ? f->label : "an unknown format";
}

CDocument::CDocument(CModel &m, std::function<void()> read_hook) : model(m), on_read(std::move(read_hook)) {}

void CDocument::Open(const std::string &dir, const std::string &file, int format)
{
    RequestLoad(SLoad{dir, file, format, false});
}

void CDocument::OpenByName(const std::string &given, int format)
{
    const std::string file = Absolute(given);
    Open(ImGuiFs::Path::FolderOfFile(file), file, format);
}

void CDocument::Reload()
{
    RequestLoad(SLoad{folder, path, model.file_format, true});
}

// A load replaces the structure shown: its unsaved edits are asked about first.
void CDocument::RequestLoad(const SLoad &load)
{
    if (!HasUnsavedEdits()) {
        RunLoad(load);
        return;
    }
    pending_load = load;
    Ask(EPending::LOAD);
}

bool CDocument::RequestClose()
{
    if (is_close_confirmed || !HasUnsavedEdits())
        return true;
    Ask(EPending::CLOSE);
    return false;
}

// A question already open stays: a second reason changes only what its answer does.
void CDocument::Ask(EPending what)
{
    pending = what;
    question = EQuestion::UNSAVED_EDITS;
}

bool CDocument::Answer(EAnswer answer)
{
    const EPending what = pending;
    const EQuestion asked = question;
    pending = EPending::NONE;
    question = EQuestion::NONE;
    if (answer == EAnswer::CANCEL)
        return true;
    if (asked == EQuestion::CHANGED_ON_DISK)
        return AnswerChanged(answer, what);
    if (answer == EAnswer::SAVE && !Save()) {
        if (question == EQuestion::CHANGED_ON_DISK)
            pending = what; // asked again, about the file: what waited still waits
        return false;
    }
    RunPending(what);
    return true;
}

bool CDocument::AnswerChanged(EAnswer answer, EPending what)
{
    if (answer == EAnswer::RELOAD) {
        RunLoad(SLoad{folder, path, model.file_format, true});
        return true;
    }
    if (answer != EAnswer::OVERWRITE || !Write(path, true))
        return false;
    RunPending(what);
    return true;
}

void CDocument::RunPending(EPending what)
{
    if (what == EPending::LOAD)
        RunLoad(pending_load);
    else if (what == EPending::CLOSE)
        is_close_confirmed = true;
}

void CDocument::RunLoad(const SLoad &load)
{
    if (!model.ReadStructureFile(load.dir, load.file, load.format)) {
        message = Failure("Can't read ", load.file, load.format);
        return;
    }
    message.clear();
    if (on_read)
        on_read();
    if (!load.is_reload) {
        path = load.file;
        folder = load.dir;
    }
}

bool CDocument::Save()
{
    return Write(path);
}

bool CDocument::SaveAs(const std::string &target)
{
    const int format = FormatForSaving(target, model.file_format);
    if (!model.SaveStructureAs(target, target, format)) {
        message = Failure("Can't save ", target, format);
        return false;
    }
    message.clear();
    const std::string dir = ImGuiFs::Path::FolderOfFile(target);
    if (format != model.file_format) {
        RunLoad(SLoad{dir, target, format, false});
        return message.empty();
    }
    path = target;
    folder = dir;
    return true;
}

// The format the structure was read with picks the writer.
bool CDocument::Write(const std::string &target, bool overwrite)
{
    if (!model.SaveStructureFile(target, target, model.file_format, overwrite)) {
        message = Failure("Can't save ", target, model.file_format);
        if (model.is_changed_on_disk)
            question = EQuestion::CHANGED_ON_DISK;
        return false;
    }
    message.clear();
    return true;
}

// Names the file by its name alone: its path is on the panel's "File:" line.
std::string CDocument::Failure(const char *what, const std::string &file, int format) const
{
    const size_t slash = file.rfind('/');
    std::string text = what + file.substr(slash == std::string::npos ? 0 : slash + 1) + " as " + FormatLabel(format);
    if (!model.error_message.empty())
        text += ": " + model.error_message;
    return text;
}
