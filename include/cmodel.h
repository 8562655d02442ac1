#ifndef CMODEL_H
#define CMODEL_H

#include <memory>
#include <string>
#include <vector>

#include "cedithistory.h"
#include "ctimer.h"

// The one loaded structure and its load/save pipeline. The model is built in layers, each a job
// of its own: the atoms (CAtoms), their bonds (CBondSearch), the file read and the frame shown
// (CFrameSwitch), the edits (CEditHistory); this top one reads and saves files.
class CModel : public CEditHistory {
public:
    CModel();

    // The last save was refused because the file had changed on disk since it was read.
    bool is_changed_on_disk = false;
    // What the last save left out because the format written cannot hold it ("left out: the
    // occupancies, ..."); empty when it kept everything.
    std::string save_note;
    CTimer timer;

    // Load/save pipeline. A failed read leaves the model as it was; saving writes the
    // coordinates in the file's own frame (v_real_xyz), with the format the file was read with.
    // A save onto the file read (or last saved) that another program has changed since is
    // refused with is_changed_on_disk set, unless `overwrite` says to write it anyway.
    bool ReadStructureFile(std::string d, std::string f, int fmt);
    // A file of frames is saved whole unless `all_frames` is unset; then only the frame shown
    // is written, and not onto the file of the frames (which would lose the others) unless
    // `drop_other_frames` says so.
    bool SaveStructureFile(std::string d, std::string f, int fmt, bool overwrite = false,
                           bool all_frames = true, bool drop_other_frames = false);
    // Saves in format `fmt`: the format read (or NO_FORMAT) writes back the file read with the
    // edits; another format gets that format's plain file of the atoms and cell (of the frame
    // shown). The structure stays the one read from its own file.
    bool SaveStructureAs(std::string d, std::string f, int fmt, bool overwrite = false,
                         bool all_frames = true, bool drop_other_frames = false);
    // Whether `f` is the file read (or last saved) and another program has changed it since.
    bool ChangedOnDisk(const std::string &f) const;
    // Whether a save may rewrite the file read with the edits (not for a CIF: see CCif).
    bool SavesInPlace() const;
    // A fresh reader/writer of a format code (for writing another format than the one read);
    // none for the codes without one.
    static std::unique_ptr<CStructureFile> NewHandler(int fmt);

private:
    // Refuses (with the reason) a save onto a file changed on disk, unless `overwrite`.
    bool RefusedAsChanged(const std::string &f, bool overwrite);
    // Refuses (with the reason) to write one frame onto the file of all the frames, unless
    // `drop_other_frames`.
    bool RefusedAsDroppingFrames(const std::string &f, bool drop_other_frames);
    bool SavePlain(CStructureFile &writer, const std::string &d, const std::string &f);
    // What a save in another format `fmt` leaves out of the structure shown.
    std::string LeftOut(int fmt) const;
};

#endif
