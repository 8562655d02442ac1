#include "cframeindex.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

#include <unistd.h>

#include "cdiskfile.h"
#include "ctextfile.h"

namespace {

// XDATCAR headers have at most comment, scale, three lattice vectors, symbols and counts.
constexpr uint32_t MAX_XDATCAR_HEADER_LINES = 7;
// The index pass lets the file's pages go after every so many bytes.
constexpr size_t RELEASE_BYTES = size_t(64) << 20;
// A copy of the text is written this much at a time.
constexpr size_t COPY_BYTES = size_t(1) << 20;

bool IsBlank(std::string_view line) { return CTextFile::SkipSpace(line).empty(); }

// "Direct configuration=     1" (or Cartesian) opens a block of positions.
bool IsConfigurationLine(std::string_view line)
{
    std::string_view rest = line, token;
    if (!CTextFile::NextToken(rest, token))
        return false;
    std::string word(token.substr(0, 9));
    for (char &c : word)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return (word.rfind("direct", 0) == 0 || word.rfind("cartesian", 0) == 0) &&
           line.find("onfiguration") != std::string_view::npos;
}

// The atom count of an XYZ frame: a whole number from 1 on as the line's first field.
bool XyzCount(std::string_view line, uint32_t &count)
{
    long long value = 0;
    if (CTextFile::ScanInteger(line, value) != EField::OK || value < 1 ||
        value > std::numeric_limits<uint32_t>::max())
        return false;
    count = static_cast<uint32_t>(value);
    return true;
}

// The sum of a counts line of whole numbers; false when it holds anything else or no atoms.
bool CountsSum(std::string_view line, uint32_t &atoms)
{
    uint64_t total = 0;
    long long value = 0;
    EField result;
    while ((result = CTextFile::ScanInteger(line, value)) == EField::OK) {
        if (value < 0)
            return false;
        total += static_cast<uint64_t>(value);
        if (total > std::numeric_limits<uint32_t>::max())
            return false;
    }
    atoms = static_cast<uint32_t>(total);
    return result == EField::MISSING && total > 0;
}

// A PDB line's record name: its first word within columns 1-6 ("ATOM 1 C ..." reads ATOM).
std::string_view PdbRecord(std::string_view line)
{
    line = line.substr(0, 6);
    return line.substr(0, std::min(line.find_first_of(" \t\r"), line.size()));
}

} // namespace

bool CFrameIndex::SCursor::Next(std::string_view text, std::string_view &line_text)
{
    if (!CTextFile::LineAt(text, pos, line_text))
        return false;
    ++line;
    return true;
}

bool CFrameIndex::SCursor::Skip(std::string_view text, uint64_t lines)
{
    for (uint64_t i = 0; i < lines; ++i) {
        if (pos >= text.size())
            return false;
        const void *lf = std::memchr(text.data() + pos, '\n', text.size() - pos);
        pos = lf != nullptr ? static_cast<size_t>(static_cast<const char *>(lf) - text.data()) + 1
                            : text.size();
        ++line;
    }
    return true;
}

void CFrameIndex::Close()
{
    file.Close();
    std::vector<SFrame>().swap(frames);
    warning.clear();
    u_tail = 0;
    u_header_lines = 0;
    u_header_bytes = 0;
    u_scanned = 0;
}

bool CFrameIndex::Open(const std::string &path, EFrameLayout kind)
{
    Close();
    error_message.clear();
    layout = kind;
    if (!file.Open(path)) {
        error_message = file.error_message;
        return false;
    }
    const std::string_view text = file.Text();
    if (kind == EFrameLayout::XYZ)
        ScanXyz(text);
    else if (kind == EFrameLayout::XDATCAR)
        ScanXdatcar(text);
    else
        ScanPdb(text);
    if (frames.empty()) {
        if (error_message.empty())
            error_message = warning.empty() ? "the file holds no frame" : warning;
        Close();
        return false;
    }
    file.LetPagesGo(text.size());
    return true;
}

void CFrameIndex::Scanned(size_t pos)
{
    if (pos - u_scanned >= RELEASE_BYTES) {
        file.LetPagesGo(pos);
        u_scanned = pos;
    }
}

bool CFrameIndex::Stop(uint64_t line, const std::string &reason)
{
    warning = "line " + std::to_string(line) + ": " + reason;
    return false;
}

bool CFrameIndex::SkipAtoms(std::string_view text, SCursor &at, uint32_t atoms)
{
    const uint64_t first = at.line;
    if (at.Skip(text, atoms))
        return true;
    const uint64_t present = at.line - first;
    return Stop(at.line, "the file ends after " + std::to_string(present) + " of " +
                             std::to_string(atoms) + " atoms of frame " + std::to_string(frames.size()) +
                             " (from 0); the frames before it are read");
}

bool CFrameIndex::ScanXyz(std::string_view text)
{
    SCursor at;
    for (;;) {
        const SCursor start = at;
        std::string_view line;
        if (!at.Next(text, line))
            break;
        uint32_t count = 0;
        if (!frames.empty() && IsBlank(line))
            continue;
        u_tail = start.pos;
        if (!XyzCount(line, count))
            return Stop(start.line, "expected the atom count of frame " + std::to_string(frames.size()) +
                                        ", found " + CTextFile::Shown(CTextFile::Trim(line)));
        if (!at.Skip(text, 1))
            return Stop(at.line, "expected the comment line of frame " + std::to_string(frames.size()) +
                                     ", but the file ends");
        if (!SkipAtoms(text, at, count))
            return false;
        frames.push_back({start.pos, start.line, count, true});
        Scanned(at.pos);
    }
    u_tail = text.size();
    return true;
}

bool CFrameIndex::ReadXdatcarHeader(std::string_view text, SCursor &at, uint32_t &atoms,
                                    uint32_t &header_lines, size_t &block_start)
{
    std::string_view line, counts;
    for (header_lines = 0;; ++header_lines) {
        block_start = at.pos;
        if (!at.Next(text, line))
            return Stop(at.line, "expected \"Direct configuration=\" in frame " +
                                     std::to_string(frames.size()) + ", but the file ends");
        if (IsConfigurationLine(line))
            break;
        if (header_lines == MAX_XDATCAR_HEADER_LINES)
            return Stop(at.line - 1, "expected \"Direct configuration=\" after the header of frame " +
                                         std::to_string(frames.size()) + ", found " +
                                         CTextFile::Shown(CTextFile::Trim(line)));
        counts = line;
    }
    if (header_lines >= 2 && CountsSum(counts, atoms))
        return true;
    return Stop(at.line - 2, "expected the atom counts of frame " + std::to_string(frames.size()) +
                                 ", found " + CTextFile::Shown(CTextFile::Trim(counts)));
}

bool CFrameIndex::ScanXdatcar(std::string_view text)
{
    SCursor at;
    uint32_t atoms = 0;
    size_t block_start = 0;
    // The header that blocks without one of their own share is the file up to the first block.
    if (!ReadXdatcarHeader(text, at, atoms, u_header_lines, block_start) || !SkipAtoms(text, at, atoms)) {
        error_message = warning;
        return false;
    }
    u_header_bytes = block_start;
    frames.push_back({0, 1, atoms, true});
    for (;;) {
        const SCursor start = at;
        std::string_view line;
        if (!at.Next(text, line))
            break;
        if (IsBlank(line))
            continue;
        u_tail = start.pos;
        const bool own_header = !IsConfigurationLine(line);
        uint32_t header_lines = 0;
        if (own_header) {
            at = start;
            if (!ReadXdatcarHeader(text, at, atoms, header_lines, block_start))
                return false;
        }
        if (!SkipAtoms(text, at, atoms))
            return false;
        frames.push_back({start.pos, start.line, atoms, own_header});
        Scanned(at.pos);
    }
    u_tail = text.size();
    return true;
}

bool CFrameIndex::ScanPdb(std::string_view text)
{
    // Without a MODEL record the file holds no frames; most do not, and a search for one costs
    // less than taking the file line by line. An empty file maps to no memory, which memmem must
    // not be handed.
    constexpr std::string_view model_line = "\nMODEL";
    if (text.substr(0, 5) != "MODEL" &&
        (text.empty() || ::memmem(text.data(), text.size(), model_line.data(), model_line.size()) == nullptr))
        return true;
    SCursor at;
    bool in_model = false;
    for (;;) {
        const SCursor start = at;
        std::string_view line;
        if (!at.Next(text, line))
            break;
        const std::string_view record = PdbRecord(line);
        if (record == "MODEL") {
            const bool first = frames.empty();
            if (first) {
                u_header_bytes = start.pos;
                u_header_lines = static_cast<uint32_t>(start.line - 1);
            }
            frames.push_back({first ? 0 : start.pos, first ? 1 : start.line, 0, first});
            in_model = true;
        } else if (!in_model) {
            continue;
        } else if (record == "ATOM" || record == "HETATM") {
            ++frames.back().atoms;
        } else if (record == "ENDMDL" || record == "END") {
            in_model = false;
            u_tail = record == "END" ? start.pos : at.pos;
        }
        Scanned(at.pos);
    }
    if (!in_model)
        return true;
    const SFrame cut = frames.back();
    frames.pop_back();
    u_tail = frames.empty() ? 0 : cut.offset;
    return Stop(at.line, "the file ends before ENDMDL of frame " + std::to_string(frames.size()) +
                             " (from 0); the frames before it are read");
}

bool CFrameIndex::Unchanged()
{
    if (file.Unchanged())
        return true;
    error_message = file.error_message;
    return false;
}

bool CFrameIndex::TextUnchanged()
{
    if (file.MappedUnchanged())
        return true;
    error_message = file.error_message;
    return false;
}

bool CFrameIndex::ChangedOnDisk(const std::string &path) const { return IsFile(path) && file.PathChanged(); }

bool CFrameIndex::IsFile(const std::string &path) const
{
    SFileStamp watched;
    watched.path = file.WatchedPath();
    watched.is_set = true;
    return CDiskFile::IsStamped(watched, path);
}

void CFrameIndex::Saved(const std::string &path) { file.Watch(path); }

void CFrameIndex::KeepText(const std::string &path, int old_copy)
{
    if (old_copy < 0)
        return;
    if (file.IsMappedAt(path))
        file.MapCopy(old_copy);
    else
        ::close(old_copy);
}

bool CFrameIndex::Copy(std::string_view bytes, CFileSink &sink)
{
    const size_t start = static_cast<size_t>(bytes.data() - file.Text().data());
    for (size_t done = 0; done < bytes.size(); done += COPY_BYTES) {
        if (!sink.Write(bytes.substr(done, COPY_BYTES)))
            return false;
        file.LetPagesGo(start + std::min(done + COPY_BYTES, bytes.size()));
    }
    return true;
}

void CFrameIndex::Passed(uint64_t k)
{
    file.LetPagesGo(k + 1 < frames.size() ? frames[k + 1].offset : u_tail);
}

std::string_view CFrameIndex::FrameBytes(uint64_t k) const
{
    const uint64_t end = k + 1 < frames.size() ? frames[k + 1].offset : u_tail;
    return file.Text().substr(frames[k].offset, end - frames[k].offset);
}

std::string_view CFrameIndex::Tail() const { return file.Text().substr(u_tail); }

bool CFrameIndex::TailSharesHeader() const
{
    const std::string_view tail = Tail();
    return Layout() == EFrameLayout::XDATCAR && !tail.empty() && IsConfigurationLine(tail.substr(0, tail.find('\n')));
}

bool CFrameIndex::FrameText(uint64_t k, std::string &text, CStructureFile::SLineMap &lines)
{
    if (!TextUnchanged())
        return false;
    const uint32_t shared = SharedLines(k);
    const std::string_view bytes = FrameBytes(k);
    text.clear();
    text.reserve((shared > 0 ? u_header_bytes : 0) + bytes.size());
    if (shared > 0)
        text.append(file.Text().substr(0, u_header_bytes));
    text.append(bytes);
    lines = {shared, frames[k].line};
    return true;
}
