#include "ctrajectory.h"

#include <algorithm>

#include "cdiskfile.h"
#include "cfspath.h"
#include "cvasp.h"
#include "cxyz.h"

namespace {

constexpr uint32_t NOT_KEPT = ~uint32_t(0);

// Copies a reader of one frame into another of the same format.
void Assign(CStructureFile &to, const CStructureFile &from)
{
    if (auto *xyz = dynamic_cast<CXyz *>(&to))
        *xyz = dynamic_cast<const CXyz &>(from);
    else
        dynamic_cast<CVasp &>(to) = dynamic_cast<const CVasp &>(from);
}

// `text` from its `lines`-th line on.
std::string_view AfterLines(std::string_view text, uint32_t lines)
{
    size_t pos = 0;
    for (uint32_t i = 0; i < lines && pos < text.size(); ++i) {
        const size_t lf = text.find('\n', pos);
        pos = lf == std::string_view::npos ? text.size() : lf + 1;
    }
    return text.substr(pos);
}

} // namespace

bool CTrajectory::Open(const std::string &path, EFrameLayout layout)
{
    Close();
    if (!index.Open(path, layout)) {
        error_message = index.error_message;
        return false;
    }
    folder = ImGuiFs::Path::FolderOfFile(path);
    return true;
}

void CTrajectory::Close()
{
    index.Close();
    error_message.clear();
    u_shown = 0;
    atoms_edits.clear();
    moves.clear();
    cache.clear();
}

std::unique_ptr<CStructureFile> CTrajectory::NewReader() const
{
    if (index.Layout() == EFrameLayout::XYZ)
        return std::make_unique<CXyz>();
    return std::make_unique<CVasp>();
}

bool CTrajectory::ParseFile(uint64_t k, CStructureFile &reader, std::vector<glm::dvec3> &xyz,
                            std::vector<uint32_t> &elements)
{
    std::string text;
    CStructureFile::SLineMap lines;
    if (!index.FrameText(k, text, lines)) {
        error_message = index.error_message;
        return false;
    }
    const bool ok =
        dynamic_cast<CXyz *>(&reader) != nullptr
            ? CStructureFile::ReadFrameInto(dynamic_cast<CXyz &>(reader), folder, std::move(text), lines, xyz, elements)
            : CStructureFile::ReadFrameInto(dynamic_cast<CVasp &>(reader), folder, std::move(text), lines, xyz, elements);
    if (!ok)
        error_message = reader.error_message;
    return ok;
}

bool CTrajectory::Parse(uint64_t k, CStructureFile &reader, std::vector<glm::dvec3> &xyz,
                        std::vector<uint32_t> &elements)
{
    const auto hit = std::find_if(cache.begin(), cache.end(), [k](const SCached &c) { return c.frame == k; });
    if (hit != cache.end()) {
        if (!index.Unchanged()) {
            error_message = index.error_message;
            return false;
        }
        Assign(reader, *hit->reader);
        xyz = hit->xyz;
        elements = hit->elements;
        return true;
    }
    if (!ParseFile(k, reader, xyz, elements))
        return false;
    if (cache.size() == CACHED_FRAMES)
        cache.pop_front();
    std::shared_ptr<CStructureFile> kept = NewReader();
    Assign(*kept, reader);
    cache.push_back({k, std::move(kept), xyz, elements});
    return true;
}

bool CTrajectory::ReadFrame(uint64_t k, CStructureFile &reader, std::vector<glm::dvec3> &xyz,
                            std::vector<uint32_t> &elements)
{
    if (k >= FrameCount()) {
        error_message = "there is no frame " + std::to_string(k) + " (the file has " +
                        std::to_string(FrameCount()) + " frames, numbered from 0)";
        return false;
    }
    if (!Parse(k, reader, xyz, elements))
        return false;
    Recall(k, reader, xyz, elements);
    u_shown = k;
    error_message.clear();
    return true;
}

const CTrajectory::SAtomsEdit *CTrajectory::AtomsEditOf(const std::vector<uint32_t> &read_elements) const
{
    for (const SAtomsEdit &e : atoms_edits)
        if (e.read_elements == read_elements)
            return &e;
    return nullptr;
}

void CTrajectory::Remember(const CStructureFile &reader, const std::vector<glm::dvec3> &xyz,
                           const std::vector<uint32_t> &elements)
{
    const std::vector<uint32_t> &origin = reader.v_atom_origin;
    std::vector<std::pair<uint32_t, glm::dvec3>> moved;
    bool retyped = false;
    for (size_t i = 0; i < origin.size(); ++i) {
        if (xyz[i] != reader.v_source_xyz[origin[i]])
            moved.emplace_back(origin[i], xyz[i]);
        retyped = retyped || elements[i] != reader.v_source_index[origin[i]];
    }
    if (moved.empty())
        moves.erase(u_shown);
    else
        moves[u_shown] = std::move(moved);

    const auto same = std::find_if(atoms_edits.begin(), atoms_edits.end(), [&](const SAtomsEdit &e) {
        return e.read_elements == reader.v_source_index;
    });
    if (same != atoms_edits.end())
        atoms_edits.erase(same);
    if (retyped || origin.size() != reader.v_source_index.size())
        atoms_edits.push_back({reader.v_source_index, origin, elements});
    // The edits are not in the frames read, so later reads apply them again.
}

bool CTrajectory::Recall(uint64_t k, CStructureFile &reader, std::vector<glm::dvec3> &xyz,
                         std::vector<uint32_t> &elements) const
{
    bool edited = false;
    if (const SAtomsEdit *e = AtomsEditOf(reader.v_source_index)) {
        reader.v_atom_origin = e->origin;
        elements = e->elements;
        xyz.resize(e->origin.size());
        for (size_t i = 0; i < e->origin.size(); ++i)
            xyz[i] = reader.v_source_xyz[e->origin[i]];
        edited = true;
    }
    const auto moved = moves.find(k);
    if (moved == moves.end())
        return edited;
    std::vector<uint32_t> kept(reader.v_source_index.size(), NOT_KEPT);
    for (size_t i = 0; i < reader.v_atom_origin.size(); ++i)
        kept[reader.v_atom_origin[i]] = static_cast<uint32_t>(i);
    for (const auto &[origin, p] : moved->second)
        if (kept[origin] != NOT_KEPT)
            xyz[kept[origin]] = p;
    return true;
}

bool CTrajectory::WriteFrame(uint64_t k, std::string &out)
{
    if (moves.count(k) == 0 && atoms_edits.empty()) {
        out.append(index.FrameBytes(k));
        return true;
    }
    const std::unique_ptr<CStructureFile> reader = NewReader();
    std::vector<glm::dvec3> xyz;
    std::vector<uint32_t> elements;
    // A frame that does not read is no frame the edits could have touched.
    if (!ParseFile(k, *reader, xyz, elements) || !Recall(k, *reader, xyz, elements)) {
        if (!index.Unchanged()) {
            error_message = index.error_message;
            return false;
        }
        error_message.clear();
        out.append(index.FrameBytes(k));
        return true;
    }
    std::string text;
    if (!reader->RewriteText(xyz, elements, text)) {
        error_message = "frame " + std::to_string(k) + ": " + reader->error_message;
        return false;
    }
    out.append(AfterLines(text, index.SharedLines(k)));
    return true;
}

// The whole text is made before the file is replaced: a file with more than one link is
// rewritten in place, and the frames copied come from that very file.
bool CTrajectory::Save(const std::string &path)
{
    error_message.clear();
    if (!index.Unchanged()) {
        error_message = index.error_message;
        return false;
    }
    std::string text;
    for (uint64_t k = 0; k < FrameCount(); ++k)
        if (!WriteFrame(k, text))
            return false;
    text.append(index.Tail());
    return CDiskFile::Replace(path, text, error_message);
}
