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

CDocument::CDocument(CModel &m, std::function<void(bool)> read_hook) : model(m), on_read(std::move(read_hook)) {}

void CDocument::Open(const std::string &dir, const std::string &file, int format)
{
    RequestLoad(SLoad{dir, file, format, false, ""});
}

void CDocument::OpenByName(const std::string &given, int format)
{
    const std::string file = Absolute(given);
    Open(ImGuiFs::Path::FolderOfFile(file), file, format);
}

// A format chosen since the load is the user's correction of a misread file.
void CDocument::Reload()
{
    SLoad load = ShownFile();
    if (i_chosen_format != NO_FORMAT) {
        load.format = i_chosen_format;
        load.block.clear();
    }
    RequestLoad(load);
}

void CDocument::OpenBlock(const std::string &block)
{
    SLoad load = ShownFile();
    load.block = block;
    RequestLoad(load);
}

CDocument::SLoad CDocument::ShownFile() const
{
    return SLoad{folder, path, model.file_format, true,
                 model.file_format == INPUT_FILE_TYPE_CIF ? model.cif.block_name : std::string()};
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
        else if (is_save_as_wanted)
            after_save_as = what;
        return false;
    }
    RunPending(what);
    return true;
}

bool CDocument::AnswerChanged(EAnswer answer, EPending what)
{
    if (answer == EAnswer::RELOAD) {
        RunLoad(ShownFile());
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
    i_chosen_format = NO_FORMAT;
    model.cif.block_wanted = load.block;
    if (!model.ReadStructureFile(load.dir, load.file, load.format)) {
        message = Failure("Can't read ", load.file, load.format);
        return;
    }
    message.clear();
    i_named_supercells = 0;
    note = model.file_format == INPUT_FILE_TYPE_CIF ? model.cif.notice : std::string();
    if (on_read)
        on_read(load.is_reload);
    if (!load.is_reload) {
        path = load.file;
        folder = load.dir;
    }
}

bool CDocument::Save()
{
    if (model.SupercellsInEffect() != i_named_supercells) {
        message = "The supercell is a new structure: choose a name for it.";
        is_save_as_wanted = true;
        return false;
    }
    if (!model.SavesInPlace()) {
        is_save_as_wanted = true;
        return false;
    }
    return Write(path);
}

bool CDocument::TakeSaveAsWanted()
{
    const bool wanted = is_save_as_wanted;
    is_save_as_wanted = false;
    return wanted;
}

// A file not rewritten in place is offered under a name of its own, never its own name, which
// would be refused.
std::string CDocument::SuggestedPath() const
{
    std::string suffix;
    if (model.SupercellsInEffect() != i_named_supercells) {
        const glm::ivec3 n = model.SupercellRepeat();
        suffix = "_" + std::to_string(n.x) + "x" + std::to_string(n.y) + "x" + std::to_string(n.z);
    }
    if (!model.SavesInPlace())
        suffix += "_P1";
    return NameWithSuffix(path, suffix);
}

std::string CDocument::NameWithSuffix(const std::string &path, const std::string &suffix)
{
    const size_t slash = path.rfind('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= start)
        dot = path.size();
    return path.substr(0, dot) + suffix + path.substr(dot);
}

// What waited goes on only once the structure is safe in the file named; a failure drops it.
bool CDocument::SaveAs(const std::string &target)
{
    const EPending then = after_save_as;
    after_save_as = EPending::NONE;
    const int format = FormatByName(target, model.file_format);
    if (!model.SaveStructureAs(target, target, format)) {
        message = Failure("Can't save ", target, format);
        return false;
    }
    message.clear();
    const std::string note = model.save_note;
    const std::string dir = ImGuiFs::Path::FolderOfFile(target);
    if (format != model.file_format || !model.SavesInPlace()) {
        RunLoad(SLoad{dir, target, format, false, ""});
        if (!message.empty())
            return false;
        // The file read now is the one saved; what it could not hold is said once.
        if (!note.empty())
            message = "Saved " + target + ": " + note;
    } else {
        path = target;
        folder = dir;
    }
    i_named_supercells = model.SupercellsInEffect();
    RunPending(then);
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
