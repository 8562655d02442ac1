#ifndef CFRAMESWITCH_H
#define CFRAMESWITCH_H

#include <cstdint>
#include <string>

#include "cbondsearch.h"
#include "cchgcar.h"
#include "ccif.h"
#include "ccube.h"
#include "cpdb.h"
#include "ctrajectory.h"
#include "cvasp.h"
#include "cxyz.h"
#include "fileformats.h"

// The file read, through the handler of its format, and the frame of it shown: a file of frames
// is indexed once and one frame at a time is taken into the atoms.
class CFrameSwitch : public CBondSearch {
public:
    CXyz xyz;
    CVasp vasp;
    CPdb pdb;
    // The frames of a file that has more than one (open only then); the handler of the format
    // holds the frame shown.
    CTrajectory trajectory;
    CCif cif;
    // Volumetric files: their structure, and the grid beside it.
    CChgcar chgcar;
    CCube cube;
    int file_format = INPUT_FILE_TYPE_UNKNOWN;
    // Why the last ReadStructureFile, SaveStructureFile or ShowFrame failed; empty after a success.
    std::string error_message;

    // The model's reader/writer of a format code; none for the codes without one.
    CStructureFile *Handler(int fmt);
    const CStructureFile *Handler(int fmt) const;
    std::string CheckInvariants() const override;
    // Frames of the file read (1 for a single structure) and the one shown, from 0.
    uint64_t FrameCount() const { return trajectory.IsOpen() ? trajectory.FrameCount() : 1; }
    uint64_t FrameShown() const { return trajectory.IsOpen() ? trajectory.Shown() : 0; }
    // Shows frame k with the edits made to it; the view (its centre and box) stays.
    bool ShowFrame(uint64_t k);

protected:
    // Opens `f` as `frames` when its format holds them and it has more than one.
    bool OpenFrames(const std::string &f, int fmt, CTrajectory &frames);

private:
    // Takes the atoms and cell of a frame just read into the model, keeping the view.
    void TakeFrame(const CStructureFile &reader);
};

#endif
