#ifndef FILEFORMATS_H
#define FILEFORMATS_H

#include <string>
#include <string_view>

// Structure file format codes; the "Input Format" combo lists those of the format table.
inline constexpr unsigned int INPUT_FILE_TYPE_XYZ = 0;
inline constexpr unsigned int INPUT_FILE_TYPE_VSP = 1;
inline constexpr unsigned int INPUT_FILE_TYPE_PDB = 2;
inline constexpr unsigned int INPUT_FILE_TYPE_GAU = 3;
inline constexpr unsigned int INPUT_FILE_TYPE_DLP = 4;
inline constexpr unsigned int INPUT_FILE_TYPE_ZMT = 5;
inline constexpr unsigned int INPUT_FILE_TYPE_XDATCAR = 6;
inline constexpr unsigned int INPUT_FILE_TYPE_CIF = 7;
inline constexpr unsigned int INPUT_FILE_TYPE_CHGCAR = 8;
inline constexpr unsigned int INPUT_FILE_TYPE_CUBE = 9;
inline constexpr unsigned int INPUT_FILE_TYPE_UNKNOWN = 100;

// The structure file formats that have a reader: their code, the "Input Format" label, the name
// on the command line and the file names that suggest them. One table for the panel, kivoa-info
// and opening by name.
struct SFileFormat {
    int code;
    const char *label;
    const char *name;
    // Case-insensitive patterns with one '*' at the start or at the end ("*.xyz", "POSCAR*"), or
    // a whole name ("CHG").
    const char *patterns[7];
};

extern const SFileFormat FILE_FORMATS[7];

inline constexpr int NO_FORMAT = -1;

// The format whose command-line name is `name`; NO_FORMAT when none.
int FormatOfName(std::string_view name);
// The format the file name of `path` (its last component) suggests; NO_FORMAT when none.
int FormatOfFileName(std::string_view path);
// The format the file name of `path` suggests, else `otherwise`: the combo's format for an open,
// the format the structure was read with for a save.
int FormatByName(std::string_view path, int otherwise);
// The table entry of a format code; nullptr for a code without a reader.
const SFileFormat *FindFormat(int code);

#endif
