#ifndef CTEXTFILE_H
#define CTEXTFILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "cdiskfile.h"

// Outcome of converting one field of a line.
enum class EField { OK, MISSING, INVALID, NOT_FINITE };

// A structure file held in memory and handed out line by line, plus the field conversions all
// structure readers share, so that a number or a count means the same in every format.
// Lines end with LF or CR LF; a last line without line end still counts.
class CTextFile {
public:
    static constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";

    CTextFile() = default;
    // Not copied: the lines handed out may point into its own text.
    CTextFile(const CTextFile &) = delete;
    CTextFile &operator=(const CTextFile &) = delete;

    // Reads the whole of a regular file; on failure error_message says why.
    bool Open(const std::string &path);
    // Hands out `content` as if it had been read from a file.
    void SetText(std::string content);
    // Hands out the lines of `piece`, a part of a text that outlives this file, numbered after
    // `lines_before`.
    void SetPiece(std::string_view piece, uint32_t lines_before);
    // The next line without its line end; false after the last line.
    bool NextLine(std::string_view &line);
    // Hands the line NextLine returned last out once more.
    void UnreadLine();
    // The text not yet handed out.
    std::string_view Rest() const { return view.substr(u_pos); }
    // Moves past the first `bytes` of Rest(), which hold `lines` lines.
    void Skip(size_t bytes, uint32_t lines);
    // The line of `content` that starts at `pos`, without its line end; `pos` moves to the next.
    static bool LineAt(std::string_view content, size_t &pos, std::string_view &line);
    // 1-based number of the line NextLine returned last.
    uint32_t LineNumber() const { return u_line; }
    // Bytes not yet handed out; bounds the number of lines still to come.
    size_t RemainingBytes() const { return view.size() - u_pos; }
    // Hands the whole text over (for writing the file back later); the file is empty after.
    std::string TakeText();

    std::string error_message;
    // The file as read by the last Open.
    SFileStamp stamp;

    static bool IsSpace(char c);
    static std::string_view SkipSpace(std::string_view s);
    static std::string_view Trim(std::string_view s);
    // Takes the next run of non-space characters from `rest`; false when none is left.
    static bool NextToken(std::string_view &rest, std::string_view &token);
    // A decimal or hexadecimal floating-point number (as strtod reads it) from the start of
    // `rest` after spaces. It must end at a space, the end of the text or a minus sign (the
    // start of the next field, where fixed columns touch). `rest` moves past it on success.
    static EField ScanDouble(std::string_view &rest, double &value);
    // A decimal integer token, optionally signed; leading zeros do not make it octal.
    static EField ScanInteger(std::string_view &rest, long long &value);
    // `text` quoted for an error message, cut short when long.
    static std::string Shown(std::string_view text);
    // Why the field at the start of `field` did not convert: coordinate "1.2.3" is not a
    // number; `what` names the field.
    static std::string BadNumber(std::string_view field, EField result, const std::string &what);

private:
    std::string text;
    // The lines handed out: `text`, or a piece of another file's text.
    std::string_view view;
    size_t u_pos = 0;
    // Where the line NextLine returned last starts.
    size_t u_last = 0;
    uint32_t u_line = 0;
};

#endif
