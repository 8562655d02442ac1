// kivoa-info: loads a structure file the way the viewer's Open does and prints what the model
// holds as one JSON object, for checking files and for scripts.

#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include "cfspath.h"
#include "cmodel.h"
#include "coverlap.h"
#include "elements.h"
#include "fileformats.h"
#include "kivoainfogrid.h"

namespace {

const std::string USAGE =
    std::string("usage: kivoa-info [--format xyz|vasp|pdb|xdatcar|cif|chgcar|cube] [--block NAME] [--frame K]\n"
                "                  [--atoms] [--bonds] [--move I X Y Z] [--element I SYMBOL] [--delete I]\n"
                "                  [--add SYMBOL X Y Z] [--delete-element SYMBOL] [--supercell N1 N2 N3] [--wrap]\n") +
    GRID_USAGE +
    "                  [--write OUT] [--frame-only] [--drop-other-frames] FILE\n"
    "       kivoa-info --help\n"
    "--write OUT saves in the format OUT's name says (the format read when it says none);\n"
    "  a file of frames is written whole unless --frame-only, or OUT's format holds one;\n"
    "  the frame alone onto the file of the frames only with --drop-other-frames.\n"
    "--frame K: the frame reported and edited, from 0; negative counts from the end.\n"
    "The edits apply in the order given.\n"
    "--grid-block N: the block of a volumetric file (0 first) that --isosurface V meshes at +V and,\n"
    "  for signed values, -V; --write-mesh writes that mesh.\n";
constexpr int EXIT_UNREADABLE = 1;
constexpr int EXIT_USAGE = 2;

// One scripted edit, applied in the order given: atom index (from 0), and what it becomes; or a
// new atom, the atoms of an element, a supercell's repeats (in xyz), the wrap into the cell.
struct SEdit {
    enum { MOVE, ELEMENT, DELETE, ADD, DELETE_ELEMENT, SUPERCELL, WRAP } kind;
    std::string index;
    glm::dvec3 xyz{0.0};
    std::string symbol;
};

struct SOptions {
    int format = NO_FORMAT;
    std::vector<SEdit> edits;
    bool atoms = false;
    bool bonds = false;
    long long frame = 0;
    bool frame_only = false;
    bool drop_other_frames = false;
    bool help = false;
    bool is_write = false;
    std::string write;
    std::string file;
    // The data block of a CIF to read; empty for the first with atoms.
    std::string block;
    SGridOptions grid;
};

bool ParseNumber(std::string_view text, double &v)
{
    return CTextFile::ScanDouble(text, v) == EField::OK && CTextFile::SkipSpace(text).empty();
}

// Three numbers after an option; whole numbers when `whole`.
bool ParseVector(char **args, const char *option, bool whole, glm::dvec3 &v, std::string &error)
{
    for (int c = 0; c < 3 && error.empty(); ++c)
        if (!ParseNumber(args[c], v[c]) || (whole && v[c] != std::floor(v[c])))
            error = std::string(option) + ": \"" + args[c] + "\" is not a " + (whole ? "whole number" : "number");
    return error.empty();
}

bool ParseOptions(int argc, char **argv, SOptions &options, std::string &error)
{
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        const bool has_value = k + 1 < argc;
        if (arg == "--help") {
            options.help = true;
            return true;
        }
        if (ParseGridOption(argc, argv, k, options.grid, error)) {
            if (!error.empty())
                return false;
            continue;
        }
        if (arg == "--atoms")
            options.atoms = true;
        else if (arg == "--bonds")
            options.bonds = true;
        else if (arg == "--frame-only")
            options.frame_only = true;
        else if (arg == "--drop-other-frames")
            options.drop_other_frames = true;
        else if (arg == "--frame" && has_value) {
            std::string_view text = argv[++k];
            if (CTextFile::ScanInteger(text, options.frame) != EField::OK || !CTextFile::SkipSpace(text).empty())
                error = "--frame: \"" + std::string(argv[k]) + "\" is not a whole number";
        } else if (arg == "--format" && has_value) {
            options.format = FormatOfName(argv[++k]);
            if (options.format == NO_FORMAT)
                error = "unknown format \"" + std::string(argv[k]) + "\"";
        } else if (arg == "--write" && has_value) {
            options.is_write = true;
            options.write = argv[++k];
            if (options.write.empty())
                error = "--write needs a file name";
        }
        else if (arg == "--block" && has_value)
            options.block = argv[++k];
        else if ((arg == "--move" || arg == "--add") && k + 4 < argc) {
            SEdit e{arg == "--move" ? SEdit::MOVE : SEdit::ADD, argv[k + 1], glm::dvec3(0.0), argv[k + 1]};
            ParseVector(argv + k + 2, arg.c_str(), false, e.xyz, error);
            options.edits.push_back(e);
            k += 4;
        } else if (arg == "--supercell" && k + 3 < argc) {
            SEdit e{SEdit::SUPERCELL, "", glm::dvec3(0.0), ""};
            ParseVector(argv + k + 1, "--supercell", true, e.xyz, error);
            options.edits.push_back(e);
            k += 3;
        } else if (arg == "--delete-element" && has_value)
            options.edits.push_back({SEdit::DELETE_ELEMENT, "", glm::dvec3(0.0), argv[++k]});
        else if (arg == "--wrap")
            options.edits.push_back({SEdit::WRAP, "", glm::dvec3(0.0), ""});
        else if (arg == "--element" && k + 2 < argc) {
            options.edits.push_back({SEdit::ELEMENT, argv[k + 1], glm::dvec3(0.0), argv[k + 2]});
            k += 2;
        } else if (arg == "--delete" && has_value)
            options.edits.push_back({SEdit::DELETE, argv[++k], glm::dvec3(0.0), ""});
        else if (arg.rfind("--", 0) == 0 || !options.file.empty())
            error = "unexpected argument \"" + arg + "\"";
        else
            options.file = arg;
        if (!error.empty())
            return false;
    }
    if (options.file.empty())
        error = "no file given";
    else if (options.format == NO_FORMAT && (options.format = FormatOfFileName(options.file)) == NO_FORMAT)
        error = "cannot tell the format of " + options.file + " from its name; use --format";
    return error.empty();
}

// The atom an edit names, or false with the reason.
bool AtomIndex(const std::string &text, const CModel &model, uint32_t &i, std::string &error)
{
    std::string_view rest = text;
    long long value = -1;
    if (CTextFile::ScanInteger(rest, value) != EField::OK || !CTextFile::SkipSpace(rest).empty() ||
        value < 0 || static_cast<unsigned long long>(value) >= model.v_atom_index.size()) {
        error = "no atom " + text + " (the structure has " +
                std::to_string(model.v_atom_index.size()) + " atoms, numbered from 0)";
        return false;
    }
    i = static_cast<uint32_t>(value);
    return true;
}

bool ElementOf(const std::string &symbol, uint32_t &idx, std::string &error)
{
    idx = ElementIndexOfSymbol(symbol);
    if (idx != NO_ELEMENT && symbol == SymbolOf(idx))
        return true;
    error = "\"" + symbol + "\" is not an element symbol";
    return false;
}

// An atom put onto another is done as asked, and said.
void NoteOverlap(const CModel &model, uint32_t u)
{
    const std::string note = COverlap::Note(model, u);
    if (!note.empty())
        std::cerr << "kivoa-info: " << note << '\n';
}

// The edits that name no atom.
bool ApplyStructureEdit(const SEdit &e, CModel &model, std::string &error)
{
    uint32_t idx = 0;
    switch (e.kind) {
    case SEdit::ADD:
        if (!ElementOf(e.symbol, idx, error))
            return false;
        if (!model.AddAtom(idx, e.xyz, error))
            error = "--add: " + error;
        else
            NoteOverlap(model, static_cast<uint32_t>(model.v_real_xyz.size() - 1));
        return error.empty();
    case SEdit::DELETE_ELEMENT:
        if (!ElementOf(e.symbol, idx, error))
            return false;
        model.DeleteAtoms(CModel::AtomsOfElement(model.v_atom_index, idx));
        return true;
    case SEdit::SUPERCELL:
        if (!model.MakeSupercell(glm::ivec3(e.xyz), error))
            error = "--supercell: " + error;
        return error.empty();
    default:
        if (!model.WrapIntoCell())
            error = "--wrap: the structure has no periodic cell";
        return error.empty();
    }
}

// Applies the edits through the model's own edit calls, as the viewer's panels do.
bool ApplyEdits(const std::vector<SEdit> &edits, CModel &model, std::string &error)
{
    for (const SEdit &e : edits) {
        if (e.kind != SEdit::MOVE && e.kind != SEdit::ELEMENT && e.kind != SEdit::DELETE) {
            if (!ApplyStructureEdit(e, model, error))
                return false;
            continue;
        }
        uint32_t i = 0, idx = 0;
        if (!AtomIndex(e.index, model, i, error))
            return false;
        if (e.kind == SEdit::MOVE) {
            model.MoveAtom(i, e.xyz);
            NoteOverlap(model, i);
        }
        else if (e.kind == SEdit::DELETE)
            model.DeleteAtomIndex(i);
        else if (!ElementOf(e.symbol, idx, error))
            return false;
        else
            model.SetElement(i, idx);
    }
    return true;
}

// Shows the frame asked for; negative numbers count from the end.
bool ShowFrame(long long frame, CModel &model, std::string &error)
{
    const long long count = static_cast<long long>(model.FrameCount());
    if (frame < -count || frame >= count) {
        error = "no frame " + std::to_string(frame) + " (the file has " + std::to_string(count) +
                " frames, numbered from 0; -1 is the last)";
        return false;
    }
    if (model.ShowFrame(static_cast<uint64_t>(frame < 0 ? count + frame : frame)))
        return true;
    error = model.error_message;
    return false;
}

nlohmann::ordered_json Vector(const glm::dvec3 &v) { return {v.x, v.y, v.z}; }

nlohmann::ordered_json Describe(const CModel &model, const SOptions &options)
{
    nlohmann::ordered_json out;
    out["format"] = FindFormat(model.file_format)->name;
    out["frames"] = model.FrameCount();
    out["frame"] = model.FrameShown();
    if (!model.trajectory.Warning().empty())
        out["warning"] = model.trajectory.Warning();
    out["atoms"] = model.v_atom_index.size();
    out["periodic"] = model.is_periodic;
    out["pbc"] = {model.is_periodic_axis.x, model.is_periodic_axis.y, model.is_periodic_axis.z};
    out["cell"] = {Vector(model.m_cell_box[0]), Vector(model.m_cell_box[1]),
                   Vector(model.m_cell_box[2])};
    nlohmann::ordered_json composition = nlohmann::ordered_json::array();
    for (size_t j = 0; j < model.v_table_index.size(); ++j)
        composition.push_back(
            {{"symbol", SymbolOf(model.v_table_index[j])}, {"count", model.v_table_atoms[j]}});
    out["composition"] = composition;
    out["bonds"] = model.i_number_of_bonds;
    out["periodic_bonds"] = model.i_number_of_bonds_pbc;
    if (model.file_format == INPUT_FILE_TYPE_CIF) {
        out["block"] = model.cif.block_name;
        out["blocks"] = model.cif.v_block_names.size();
        out["symmetry"] = model.cif.symmetry_source;
        out["operations"] = model.cif.u_operations;
        out["merged"] = model.cif.u_merged;
    }
    if (options.atoms) {
        nlohmann::ordered_json symbols = nlohmann::ordered_json::array();
        nlohmann::ordered_json positions = nlohmann::ordered_json::array();
        for (size_t i = 0; i < model.v_atom_index.size(); ++i) {
            symbols.push_back(SymbolOf(model.v_atom_index[i]));
            positions.push_back(Vector(model.v_real_xyz[i]));
        }
        out["symbols"] = std::move(symbols);
        out["positions"] = std::move(positions);
        if (!model.v_atom_occupancy.empty())
            out["occupancy"] = model.v_atom_occupancy;
    }
    if (options.bonds) {
        nlohmann::ordered_json pairs = nlohmann::ordered_json::array();
        for (uint32_t k = 0; k < model.i_number_of_bonds; ++k)
            pairs.push_back({model.m_bond_indices[k].x, model.m_bond_indices[k].y});
        out["bond_pairs"] = std::move(pairs);
    }
    return out;
}

// Writing over the program's own output would lose the output or the file.
bool IsOwnOutput(const std::string &path)
{
    struct stat target, out;
    if (::stat(path.c_str(), &target) != 0)
        return false;
    for (int fd : {STDOUT_FILENO, STDERR_FILENO})
        if (::fstat(fd, &out) == 0 && out.st_dev == target.st_dev && out.st_ino == target.st_ino)
            return true;
    return false;
}

int Report(const std::string &file, int format, const std::string &reason)
{
    std::cerr << "kivoa-info: " << file << " (" << FindFormat(format)->name << "): " << reason << '\n';
    return EXIT_UNREADABLE;
}

} // namespace

int main(int argc, char **argv)
{
    SOptions options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::cerr << "kivoa-info: " << error << '\n' << USAGE;
        return EXIT_USAGE;
    }
    if (options.help) {
        std::cout << USAGE;
        return 0;
    }
    if (options.is_write && IsOwnOutput(options.write)) {
        std::cerr << "kivoa-info: " << options.write << " is where kivoa-info writes its output\n";
        return EXIT_USAGE;
    }
    CModel model;
    model.cif.block_wanted = options.block;
    if (!model.ReadStructureFile(ImGuiFs::Path::FolderOfFile(options.file), options.file, options.format))
        return Report(options.file, options.format, model.error_message);
    if (model.file_format == INPUT_FILE_TYPE_CIF && !model.cif.notice.empty())
        std::cerr << "kivoa-info: " << options.file << ": " << model.cif.notice << '\n';
    if (!model.trajectory.Warning().empty())
        std::cerr << "kivoa-info: " << options.file << ": " << model.trajectory.Warning() << '\n';
    if (!ShowFrame(options.frame, model, error))
        return Report(options.file, options.format, error);
    if (!ApplyEdits(options.edits, model, error)) {
        std::cerr << "kivoa-info: " << error << '\n';
        return EXIT_USAGE;
    }
    const int write_format = FormatByName(options.write, model.file_format);
    if (options.is_write && !model.SaveStructureAs(ImGuiFs::Path::FolderOfFile(options.write), options.write,
                                                   write_format, false, !options.frame_only,
                                                   options.drop_other_frames))
        return Report(options.write, write_format, model.error_message);
    if (!model.save_note.empty())
        std::cerr << "kivoa-info: " << options.write << ": " << model.save_note << '\n';
    nlohmann::ordered_json out = Describe(model, options);
    const CStructureFile *file = model.Handler(model.file_format);
    if (!DescribeGrid(file->Grid(), options.grid, out, error))
        return Report(options.file, options.format, error);
    std::cout << out.dump() << std::endl;
    // Handing a million atoms' memory back piece by piece takes longer than the report: the
    // process ends here, without unwinding the model.
    std::exit(0);
}
