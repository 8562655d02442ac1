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
    // Case-insensitive patterns with one '*' at the start or at the end ("*.xyz", "POSCAR*").
    const char *patterns[4];
};

extern const SFileFormat FILE_FORMATS[5];

inline constexpr int NO_FORMAT = -1;

// The format whose command-line name is `name`; NO_FORMAT when none.
int FormatOfName(std::string_view name);
// The format the file name of `path` (its last component) suggests; NO_FORMAT when none.
int FormatOfFileName(std::string_view path);
// The format a save to `path` writes: the one its file name suggests, else `read` (the format
// the structure was read with).
int FormatForSaving(std::string_view path, int read);
// The table entry of a format code; nullptr for a code without a reader.
const SFileFormat *FindFormat(int code);

#endif
