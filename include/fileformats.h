#ifndef FILEFORMATS_H
#define FILEFORMATS_H

#include <string>
#include <string_view>

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
