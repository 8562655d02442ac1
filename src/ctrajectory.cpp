#include "ctrajectory.h"

#include <algorithm>

#include "cdiskfile.h"
#include "cfspath.h"
#include "cpdb.h"
#include "ctextfile.h"
#include "cvasp.h"
#include "cxyz.h"

namespace {

constexpr uint32_t NOT_KEPT = ~uint32_t(0);

// Copies a reader of one frame into another of the same format.
void Assign(CStructureFile &to, const CStructureFile &from)
{
    if (auto *xyz = dynamic_cast<CXyz *>(&to))
        *xyz = dynamic_cast<const CXyz &>(from);
    else if (auto *pdb = dynamic_cast<CPdb *>(&to))
        *pdb = dynamic_cast<const CPdb &>(from);
    else
        dynamic_cast<CVasp &>(to) = dynamic_cast<const CVasp &>(from);
}

// An added atom's place as a frame with `reader`'s cell keeps it, and back.
glm::dvec3 StoredPlace(const CStructureFile &reader, const glm::dvec3 &p)
{
    return reader.is_periodic ? glm::inverse(reader.cell_xyz) * p : p;
}

glm::dvec3 FramePlace(const CStructureFile &reader, const glm::dvec3 &stored)
{
    return reader.is_periodic ? reader.cell_xyz * stored : stored;
}

// A PDB's records after its models without the MASTER record.
std::string WithoutMaster(std::string_view tail)
{
    std::string out;
    std::string_view line;
    for (size_t pos = 0, start = 0; CTextFile::LineAt(tail, pos, line); start = pos)
        if (line.rfind("MASTER", 0) != 0)
            out.append(tail.substr(start, pos - start));
    return out;
}

} // namespace

glm::dvec3 WrappedIntoCell(const glm::dmat3 &cell, const glm::dmat3 &inverse, const glm::bvec3 &axes,
                           const glm::dvec3 &p)
{
    glm::dvec3 f = inverse * p;
    bool moves = false;
    for (int a = 0; a < 3; ++a) {
        if (!axes[a])
            continue;
        const double w = f[a] - std::floor(f[a]);
        const double inside = w < 1.0 ? w : 0.0;
        moves = moves || inside != f[a];
        f[a] = inside;
    }
    return moves ? cell * f : p;
}

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
    ahead.job = {};
    index.Close();
    error_message.clear();
    u_shown = 0;
    atoms_edits.clear();
    wrapped.clear();
    moves.clear();
    cache.clear();
    u_counted_atoms = ~uint32_t(0);
}

uint64_t CTrajectory::FramesWithAtomsOf(uint64_t k) const
{
    if (k >= FrameCount())
        return 0;
    const uint32_t atoms = index.FrameAtoms(k);
    if (atoms != u_counted_atoms) {
        u_counted_frames = 0;
        for (uint64_t f = 0; f < FrameCount(); ++f)
            u_counted_frames += index.FrameAtoms(f) == atoms ? 1 : 0;
        u_counted_atoms = atoms;
    }
    return u_counted_frames;
}

std::unique_ptr<CStructureFile> CTrajectory::NewReader(EFrameLayout layout)
{
    if (layout == EFrameLayout::XYZ)
        return std::make_unique<CXyz>();
    if (layout == EFrameLayout::PDB)
        return std::make_unique<CPdb>();
    return std::make_unique<CVasp>();
}

CTrajectory::SCached CTrajectory::ParseText(EFrameLayout layout, const std::string &folder, uint64_t k,
                                            std::string text, const CStructureFile::SLineMap &lines)
{
    SCached frame;
    frame.frame = k;
    std::unique_ptr<CStructureFile> reader = NewReader(layout);
    bool ok = false;
    if (auto *x = dynamic_cast<CXyz *>(reader.get()))
        ok = CStructureFile::ReadFrameInto(*x, folder, std::move(text), lines, frame.xyz, frame.elements);
    else if (auto *pdb = dynamic_cast<CPdb *>(reader.get()))
        ok = CStructureFile::ReadFrameInto(*pdb, folder, std::move(text), lines, frame.xyz, frame.elements);
    else
        ok = CStructureFile::ReadFrameInto(dynamic_cast<CVasp &>(*reader), folder, std::move(text), lines, frame.xyz,
                                           frame.elements);
    if (ok)
        frame.reader = std::move(reader);
    else
        frame.error = reader->error_message;
    return frame;
}

bool CTrajectory::ParseFile(uint64_t k, SCached &frame)
{
    std::string text;
    CStructureFile::SLineMap lines;
    if (!index.FrameText(k, text, lines)) {
        error_message = index.error_message;
        return false;
    }
    frame = ParseText(index.Layout(), folder, k, std::move(text), lines);
    error_message = frame.error;
    return frame.reader != nullptr;
}

// Only a step to a neighbour (playback, the frame keys) reads ahead: after a jump (the slider) the
// next frame asked for is anyone's guess, and a read for nothing would hold up the next jump.
void CTrajectory::ReadAhead(uint64_t k, uint64_t before)
{
    const bool is_on = k == before + 1 || (k == 0 && before + 1 == FrameCount());
    const bool is_back = k + 1 == before;
    if (!is_on && !is_back)
        return;
    const uint64_t next = is_back ? k - 1 : k + 1;
    const bool cached = std::any_of(cache.begin(), cache.end(), [next](const SCached &c) { return c.frame == next; });
    if (next >= FrameCount() || cached || (ahead.job.valid() && ahead.frame == next))
        return;
    std::string text;
    CStructureFile::SLineMap lines;
    ahead.job = {};
    if (!index.FrameText(next, text, lines))
        return;
    ahead.frame = next;
    ahead.job = std::async(std::launch::async, ParseText, index.Layout(), folder, next, std::move(text), lines);
}

const CTrajectory::SCached *CTrajectory::FromReadAhead(uint64_t k)
{
    if (!ahead.job.valid() || ahead.frame != k)
        return nullptr;
    SCached frame = ahead.job.get();
    if (frame.reader == nullptr)
        return nullptr;
    Keep(std::move(frame));
    return &cache.back();
}

void CTrajectory::Keep(SCached frame)
{
    if (cache.size() == CACHED_FRAMES)
        cache.pop_front();
    cache.push_back(std::move(frame));
}

bool CTrajectory::Parse(uint64_t k, CStructureFile &reader, std::vector<glm::dvec3> &xyz,
                        std::vector<uint32_t> &elements)
{
    if (!index.Unchanged()) {
        error_message = index.error_message;
        return false;
    }
    const auto hit = std::find_if(cache.begin(), cache.end(), [k](const SCached &c) { return c.frame == k; });
    const SCached *found = hit != cache.end() ? &*hit : FromReadAhead(k);
    if (found == nullptr) {
        SCached frame;
        if (!ParseFile(k, frame))
            return false;
        Keep(std::move(frame));
        found = &cache.back();
    }
    Assign(reader, *found->reader);
    xyz = found->xyz;
    elements = found->elements;
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
    const uint64_t before = u_shown;
    u_shown = k;
    error_message.clear();
    ReadAhead(k, before);
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
    const size_t read = reader.v_source_index.size();
    // Added atoms keep the place they have in the frame shown in every frame.
    SAtomsEdit edit{reader.v_source_index, reader, elements,
                    std::vector<glm::dvec3>(reader.v_added_template.size())};
    const bool is_wrapped = IsWrapped(reader);
    const glm::dmat3 inverse = is_wrapped ? glm::inverse(reader.cell_xyz) : glm::dmat3(1.0);
    std::vector<std::pair<uint32_t, glm::dvec3>> moved;
    bool retyped = false;
    for (size_t i = 0; i < origin.size(); ++i) {
        if (origin[i] >= read) {
            edit.added_at[origin[i] - read] = StoredPlace(reader, xyz[i]);
            continue;
        }
        const glm::dvec3 &p = reader.v_source_xyz[origin[i]];
        if (xyz[i] != (is_wrapped ? WrappedIntoCell(reader.cell_xyz, inverse, reader.is_periodic_axis, p) : p))
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
    if (retyped || origin.size() != read || !reader.v_added_template.empty() || reader.is_cell_edited)
        atoms_edits.push_back(std::move(edit));
    // The edits are not in the frames read, so later reads apply them again.
}

void CTrajectory::SetWrapped(const CStructureFile &reader, bool is_wrapped)
{
    const auto same = std::find(wrapped.begin(), wrapped.end(), reader.v_source_index);
    if (same != wrapped.end() && !is_wrapped)
        wrapped.erase(same);
    else if (same == wrapped.end() && is_wrapped)
        wrapped.push_back(reader.v_source_index);
}

bool CTrajectory::IsWrapped(const CStructureFile &reader) const
{
    return reader.is_periodic &&
           std::find(wrapped.begin(), wrapped.end(), reader.v_source_index) != wrapped.end();
}

glm::dvec3 CTrajectory::PlaceOf(const CStructureFile &reader, uint32_t origin, const SAtomsEdit *e) const
{
    const size_t read = reader.v_source_index.size();
    return origin < read ? reader.v_source_xyz[origin] : FramePlace(reader, e->added_at[origin - read]);
}

bool CTrajectory::Recall(uint64_t k, CStructureFile &reader, std::vector<glm::dvec3> &xyz,
                         std::vector<uint32_t> &elements) const
{
    const SAtomsEdit *e = AtomsEditOf(reader.v_source_index);
    const bool is_wrapped = IsWrapped(reader);
    if (e != nullptr) {
        static_cast<CEditJournal &>(reader) = e->journal;
        elements = e->elements;
        xyz.resize(e->journal.v_atom_origin.size());
        for (size_t i = 0; i < e->journal.v_atom_origin.size(); ++i)
            xyz[i] = PlaceOf(reader, e->journal.v_atom_origin[i], e);
    }
    if (is_wrapped) {
        const glm::dmat3 inverse = glm::inverse(reader.cell_xyz);
        for (glm::dvec3 &p : xyz)
            p = WrappedIntoCell(reader.cell_xyz, inverse, reader.is_periodic_axis, p);
    }
    const auto moved = moves.find(k);
    if (moved == moves.end())
        return e != nullptr || is_wrapped;
    std::vector<uint32_t> kept(reader.v_source_index.size() + reader.v_added_template.size(), NOT_KEPT);
    for (size_t i = 0; i < reader.v_atom_origin.size(); ++i)
        kept[reader.v_atom_origin[i]] = static_cast<uint32_t>(i);
    for (const auto &[origin, p] : moved->second)
        if (origin < kept.size() && kept[origin] != NOT_KEPT)
            xyz[kept[origin]] = p;
    return true;
}

bool CTrajectory::WriteFrame(uint64_t k, CFileSink &out, CPdb::SDeletions &deleted)
{
    if (moves.count(k) == 0 && atoms_edits.empty() && wrapped.empty())
        return index.Copy(index.FrameBytes(k), out);
    SCached frame;
    // A frame that does not read is no frame the edits could have touched.
    if (!ParseFile(k, frame) || !Recall(k, *frame.reader, frame.xyz, frame.elements)) {
        if (!index.TextUnchanged())
            return out.Fail(index.error_message);
        error_message.clear();
        return index.Copy(index.FrameBytes(k), out);
    }
    std::string text;
    CStructureFile &reader = *frame.reader;
    if (!reader.RewriteText(frame.xyz, frame.elements, text))
        return out.Fail("frame " + std::to_string(k) + ": " + reader.error_message);
    if (const auto *pdb = dynamic_cast<const CPdb *>(&reader))
        pdb->AddDeletions(deleted);
    return out.Write(std::string_view(text).substr(index.SharedLines(k) > 0 ? reader.OwnLinesStart() : 0));
}

bool CTrajectory::ChangesAtomCount() const
{
    return std::any_of(atoms_edits.begin(), atoms_edits.end(),
                       [](const SAtomsEdit &e) { return e.journal.v_atom_origin.size() != e.read_elements.size(); });
}

bool CTrajectory::WriteFrames(CFileSink &out)
{
    CPdb::SDeletions deleted;
    index.BeginPass();
    for (uint64_t k = 0; k < FrameCount(); ++k) {
        if (!WriteFrame(k, out, deleted))
            return false;
        index.Passed(k);
    }
    // CONECT and MASTER after a PDB's models name and count the atoms of every model.
    if (index.Layout() == EFrameLayout::PDB)
        return out.Write(CPdb::RewriteTail(index.Tail(), deleted));
    return index.Copy(index.Tail(), out);
}

// The text goes to disk a frame at a time, so a file of any size saves in the memory of a frame.
// The edits stay as they are, made to the text indexed, which stays readable: after a rename the
// old file is still open, and a file rewritten in place leaves an open copy of its old text.
bool CTrajectory::Save(const std::string &path)
{
    error_message.clear();
    if (!index.TextUnchanged()) {
        error_message = index.error_message;
        return false;
    }
    // A cut-short block is copied as it is; counted by a changed header it could read as whole.
    if (index.TailSharesHeader() && ChangesAtomCount()) {
        error_message = Warning() + "; with the atom count changed it would read as a whole frame, so the file is not saved";
        return false;
    }
    int old_copy = -1;
    const bool saved = CDiskFile::Replace(
        path, [this](CFileSink &out) { return WriteFrames(out); }, error_message, &old_copy);
    index.KeepText(path, old_copy);
    if (saved)
        index.Saved(path);
    return saved;
}

bool CTrajectory::SaveShown(const std::string &path, CStructureFile &reader, const std::vector<glm::dvec3> &xyz,
                            const std::vector<uint32_t> &elements)
{
    std::string text;
    if (!reader.RewriteText(xyz, elements, text)) {
        error_message = reader.error_message;
        return false;
    }
    if (const auto *pdb = dynamic_cast<const CPdb *>(&reader)) {
        // The records after the models come from the file, which must still hold them.
        if (!index.TextUnchanged()) {
            error_message = index.error_message;
            return false;
        }
        CPdb::SDeletions deleted;
        pdb->AddDeletions(deleted);
        text.append(WithoutMaster(CPdb::RewriteTail(index.Tail(), deleted)));
    }
    return CDiskFile::Replace(path, text, error_message);
}

bool CTrajectory::ChangedOnDisk(const std::string &path) const { return index.ChangedOnDisk(path); }
