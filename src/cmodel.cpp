#include "cmodel.h"

#include "largepages.h"

#include <cassert>
#include <utility>

CModel::CModel() {}

bool CModel::ReadStructureFile(std::string d, std::string f, int fmt)
{
    CStructureFile *reader = Handler(fmt);
    if (reader == nullptr) {
        error_message = "there is no reader for format " + std::to_string(fmt);
        return false;
    }
    // The frames of the file shown stay until the new file has been read whole.
    CTrajectory frames;
    if (!OpenFrames(f, fmt, frames))
        return false;
    const bool read = frames.IsOpen() ? frames.ReadFrame(0, *reader, v_real_xyz, v_atom_index)
                                      : reader->ReadFile(d, f, v_real_xyz, v_atom_index);
    if (!read) {
        error_message = frames.IsOpen() ? frames.error_message : reader->error_message;
        return false;
    }
    trajectory = std::move(frames);
    file_format = fmt;
    for (int other : {INPUT_FILE_TYPE_XYZ, INPUT_FILE_TYPE_VSP, INPUT_FILE_TYPE_PDB, INPUT_FILE_TYPE_CIF,
                      INPUT_FILE_TYPE_CHGCAR, INPUT_FILE_TYPE_CUBE})
        if (Handler(other) != reader)
            Handler(other)->ForgetSource();
    v_atom_altloc.clear();
    v_atom_altloc.swap(reader->v_atom_altloc);
    v_atom_occupancy.clear();
    if (fmt == INPUT_FILE_TYPE_CIF)
        v_atom_occupancy = cif.v_occupancy;
    v_atom_hidden.clear();
    ++u_hidden_revision;
    is_periodic = reader->is_periodic;
    is_periodic_axis = reader->is_periodic_axis && glm::bvec3(is_periodic);
    if (is_periodic)
        m_cell_box = reader->cell_xyz;
    dmin_xyz = reader->GetMinCoordinate();
    dmax_xyz = reader->GetMaxCoordinate();
    min_xyz = glm::vec3(dmin_xyz);
    max_xyz = glm::vec3(dmax_xyz);
    v_float_raw_xyz.clear();
    ReserveLarge(v_float_raw_xyz, v_real_xyz.size());
    v_float_raw_xyz.assign(v_real_xyz.begin(), v_real_xyz.end());
    v_file_origin = glm::dvec3(0.0);
    SetModel();
    EvalModel();
    v_file_origin = glm::dvec3(center_xyz);
    ForgetHistory();
    MarkClean();
    error_message.clear();
    assert(CheckInvariants().empty());
    return true;
}

// The format the structure was read with picks the writer, whatever `fmt` says.
bool CModel::SaveStructureFile(std::string d, std::string f, int, bool overwrite, bool all_frames,
                               bool drop_other_frames)
{
    CStructureFile *writer = Handler(file_format);
    if (writer == nullptr) {
        error_message = "no structure has been read that could be saved";
        return false;
    }
    save_note.clear();
    if (RefusedAsChanged(f, overwrite) || (!all_frames && RefusedAsDroppingFrames(f, drop_other_frames)))
        return false;
    if (trajectory.IsOpen()) {
        const bool onto_frames = !all_frames && trajectory.IsFileOf(f);
        trajectory.Remember(*writer, v_real_xyz, v_atom_index);
        if (all_frames ? !trajectory.Save(f) : !trajectory.SaveShown(f, *writer, v_real_xyz, v_atom_index)) {
            error_message = trajectory.error_message;
            return false;
        }
        // The file now holds the frame shown alone: it is one structure from now on.
        if (onto_frames)
            trajectory.Close();
    } else if (!writer->SaveFile(d, f, v_real_xyz, v_atom_index)) {
        error_message = writer->error_message;
        return false;
    }
    MarkClean();
    error_message.clear();
    return true;
}

bool CModel::SaveStructureAs(std::string d, std::string f, int fmt, bool overwrite, bool all_frames,
                             bool drop_other_frames)
{
    if (fmt == NO_FORMAT || fmt == file_format || Handler(file_format) == nullptr)
        return SaveStructureFile(d, f, fmt, overwrite, all_frames, drop_other_frames);
    // An mmCIF entry keeps its chains and residues in PDB.
    const bool is_entry = file_format == INPUT_FILE_TYPE_CIF && fmt == INPUT_FILE_TYPE_PDB && cif.is_macromolecular;
    std::unique_ptr<CStructureFile> writer = is_entry ? nullptr : NewHandler(fmt);
    if (!is_entry && writer == nullptr) {
        error_message = "there is no writer for format " + std::to_string(fmt);
        return false;
    }
    save_note.clear();
    if (RefusedAsChanged(f, overwrite) || RefusedAsDroppingFrames(f, drop_other_frames))
        return false;
    if (is_entry ? !cif.SaveEntryAsPdb(f, v_real_xyz, v_atom_index) : !SavePlain(*writer, d, f)) {
        error_message = is_entry ? cif.error_message : writer->error_message;
        return false;
    }
    save_note = LeftOut(fmt);
    error_message.clear();
    return true;
}

// Another format's plain file of the atoms and cell.
bool CModel::SavePlain(CStructureFile &writer, const std::string &d, const std::string &f)
{
    writer.is_periodic = is_periodic;
    writer.is_periodic_axis = is_periodic_axis;
    writer.cell_xyz = m_cell_box;
    return writer.SaveFile(d, f, v_real_xyz, v_atom_index);
}

std::string CModel::LeftOut(int fmt) const
{
    std::vector<std::string> lost;
    if (FrameCount() > 1)
        lost.push_back("the other " + std::to_string(FrameCount() - 1) + " frames");
    if (!v_atom_occupancy.empty() && fmt != INPUT_FILE_TYPE_CIF)
        lost.push_back("the occupancies");
    if (!v_atom_altloc.empty())
        lost.push_back("the alternate locations");
    if (Handler(file_format) == &vasp && vasp.is_dynamics)
        lost.push_back("the selective-dynamics flags");
    if (Handler(file_format) == &vasp && vasp.u_velocity_line > 0)
        lost.push_back("the velocities");
    if (is_periodic && fmt == INPUT_FILE_TYPE_PDB && !CPdb::HoldsCell(m_cell_box))
        lost.push_back("the cell (CRYST1 holds only a cell with a along x and b in the xy plane)");
    std::string note;
    for (const std::string &what : lost)
        note += (note.empty() ? "left out, as the format written cannot hold them: " : ", ") + what;
    return note;
}

bool CModel::RefusedAsChanged(const std::string &f, bool overwrite)
{
    is_changed_on_disk = !overwrite && ChangedOnDisk(f);
    if (is_changed_on_disk)
        error_message = "the file has changed on disk since it was read";
    return is_changed_on_disk;
}

bool CModel::RefusedAsDroppingFrames(const std::string &f, bool drop_other_frames)
{
    if (drop_other_frames || !trajectory.IsOpen() || !trajectory.IsFileOf(f))
        return false;
    error_message = "the file holds " + std::to_string(FrameCount()) + " frames: writing frame " +
                    std::to_string(FrameShown()) + " alone onto it would lose the others";
    return true;
}

bool CModel::ChangedOnDisk(const std::string &f) const
{
    if (trajectory.IsOpen())
        return trajectory.ChangedOnDisk(f);
    const CStructureFile *file = Handler(file_format);
    return file != nullptr && file->ChangedOnDisk(f);
}

bool CModel::SavesInPlace() const
{
    const CStructureFile *file = Handler(file_format);
    return file == nullptr || file->SavesInPlace();
}

std::unique_ptr<CStructureFile> CModel::NewHandler(int fmt)
{
    switch (fmt) {
    case INPUT_FILE_TYPE_XYZ:
        return std::make_unique<CXyz>();
    case INPUT_FILE_TYPE_VSP:
        return std::make_unique<CVasp>();
    case INPUT_FILE_TYPE_PDB:
        return std::make_unique<CPdb>();
    case INPUT_FILE_TYPE_CIF:
        return std::make_unique<CCif>();
    default:
        return nullptr;
    }
}

