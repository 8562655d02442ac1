#include "cframeswitch.h"

#include <utility>

CStructureFile *CFrameSwitch::Handler(int fmt)
{
    return const_cast<CStructureFile *>(std::as_const(*this).Handler(fmt));
}

const CStructureFile *CFrameSwitch::Handler(int fmt) const
{
    switch (fmt) {
    case INPUT_FILE_TYPE_XYZ:
        return &xyz;
    case INPUT_FILE_TYPE_VSP:
    case INPUT_FILE_TYPE_XDATCAR:
        return &vasp;
    case INPUT_FILE_TYPE_PDB:
        return &pdb;
    case INPUT_FILE_TYPE_CIF:
        return &cif;
    case INPUT_FILE_TYPE_CHGCAR:
        return &chgcar;
    case INPUT_FILE_TYPE_CUBE:
        return &cube;
    default:
        return nullptr;
    }
}

std::string CFrameSwitch::CheckInvariants() const
{
    std::string broken = CBondSearch::CheckInvariants();
    if (!broken.empty())
        return broken;
    const CStructureFile *file = Handler(file_format);
    if (file != nullptr && file->v_atom_origin.size() != v_atom_index.size())
        return "the atoms are out of step with the file read";
    return {};
}

bool CFrameSwitch::OpenFrames(const std::string &f, int fmt, CTrajectory &frames)
{
    const bool xdatcar = fmt == INPUT_FILE_TYPE_XDATCAR;
    if (xdatcar || fmt == INPUT_FILE_TYPE_XYZ || fmt == INPUT_FILE_TYPE_PDB) {
        const bool indexed = frames.Open(f, xdatcar                      ? EFrameLayout::XDATCAR
                                            : fmt == INPUT_FILE_TYPE_XYZ ? EFrameLayout::XYZ
                                                                         : EFrameLayout::PDB);
        if (!indexed && xdatcar) {
            error_message = frames.error_message;
            return false;
        }
        // An XYZ or PDB file of one frame is read as a single structure, as it always was.
        if (indexed && !xdatcar && frames.FramesFound() < 2)
            frames.Close();
    }
    return true;
}

bool CFrameSwitch::ShowFrame(uint64_t k)
{
    if (k == FrameShown())
        return true;
    CStructureFile *reader = Handler(file_format);
    if (!trajectory.IsOpen() || reader == nullptr) {
        error_message = "the structure has no frame " + std::to_string(k);
        return false;
    }
    trajectory.Remember(*reader, v_real_xyz, v_atom_index);
    if (!trajectory.ReadFrame(k, *reader, v_real_xyz, v_atom_index)) {
        error_message = trajectory.error_message;
        return false;
    }
    TakeFrame(*reader);
    error_message.clear();
    return true;
}

void CFrameSwitch::TakeFrame(const CStructureFile &reader)
{
    v_atom_altloc.clear();
    is_periodic = reader.is_periodic;
    is_periodic_axis = reader.is_periodic_axis && glm::bvec3(is_periodic);
    if (is_periodic)
        m_cell_box = reader.cell_xyz;
    v_float_raw_xyz.resize(v_real_xyz.size());
    for (size_t i = 0; i < v_real_xyz.size(); ++i)
        v_float_raw_xyz[i] = glm::vec3(v_real_xyz[i] - v_file_origin);
    EvalModel();
    UpdateBonds();
    ++u_revision;
}

