#include "cinit.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include <ini.h>

#include "ctextfile.h"

namespace {

// The parser reads lines of up to this many bytes whole; longer ones are cut into pieces.
const size_t MAX_LINE = 199;

// One line of a value, written so that it reads back as the same line of the same key:
// "name = line" as a rule; "name=line" for a nameless key, for a line starting with ";" (after a
// blank it would be a comment) and for one that fits only without the blanks. A line too long
// even then was a continuation line when read and goes back as one; as the value's first line it
// follows an empty "name=", which gives it a key to join without adding a line.
std::string EntryLine(const std::string &name, const std::string &line, bool is_first)
{
    const std::string spaced = name + " = " + line;
    if (!name.empty() && line.compare(0, 1, ";") != 0 && spaced.size() <= MAX_LINE)
        return spaced;
    const std::string tight = name + "=" + line;
    if (tight.size() <= MAX_LINE || name.empty())
        return tight;
    return (is_first ? name + "=\n" : std::string()) + " " + line;
}

// A value of several lines goes back as the same key once per line, which the parser joins
// again; unlike continuation lines this keeps empty lines and works for nameless keys.
std::string EntryLines(const std::string &name, const std::string &value)
{
    std::string text;
    size_t start = 0;
    for (bool is_first = true;; is_first = false) {
        const size_t end = value.find('\n', start);
        text += EntryLine(name, value.substr(start, end - start), is_first) + "\n";
        if (end == std::string::npos)
            return text;
        start = end + 1;
    }
}

std::string WithoutTrailingSpace(std::string text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    return text;
}

// The parser cuts inline comments from name = value lines but, in the version Debian ships, not
// from continuation lines; the same cut here makes both alike (a no-op on the former).
std::string WithoutInlineComment(const char *value)
{
    std::string text(value);
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] == ';' && std::isspace(static_cast<unsigned char>(text[i - 1]))) {
            text.erase(i);
            break;
        }
    }
    return WithoutTrailingSpace(text);
}

} // namespace

CInit::CInit() : _error(-1) {}

CInit::CInit(const std::string &filename) : _error(0), _init(filename)
{
    _error = ini_parse(_init.c_str(), ValueHandler, this);
}

int CInit::ParseError() const
{
    return _error;
}

std::string CInit::MakeKey(const std::string &section, const std::string &name)
{
    std::string key = section + "=" + name;
    for (char &c : key)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

float CInit::GetFloat(const std::string &section, const std::string &name,
                      float default_value) const
{
    auto it = _values.find(MakeKey(section, name));
    if (it == _values.end())
        return default_value;
    const char *text = it->second.c_str();
    char *end = nullptr;
    float value = std::strtof(text, &end);
    return end == text ? default_value : value;
}

void CInit::SetFloat(const std::string &section, const std::string &name, float value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", value);
    _sections.insert(section);
    _values[MakeKey(section, name)] = text;
}

int CInit::ValueHandler(void *user, const char *section, const char *name, const char *value)
{
    CInit *store = static_cast<CInit *>(user);
    // A continuation line comes with the previous name cut to the parser's name buffer, which
    // may end in blanks that no written name can keep; strip them as the parser does for names.
    std::string &text = store->_values[MakeKey(section, WithoutTrailingSpace(name))];
    if (!text.empty())
        text += "\n";
    text += WithoutInlineComment(value);
    store->_sections.insert(section);
    return 1;
}

// Sections that differ only in case share their keys (keys are lower case), so such a section is
// written once, under the first spelling in byte order. A key belongs to the section named before
// its last "=": names never hold "=", section names may.
std::string CInit::Layout() const
{
    std::string text;
    std::set<std::string> written;
    for (const std::string &section : _sections) {
        const std::string prefix = MakeKey(section, "");
        if (!written.insert(prefix).second)
            continue;
        text += "[" + section + "]\n";
        for (auto it = _values.lower_bound(prefix);
             it != _values.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
            const std::string name = it->first.substr(prefix.size());
            if (name.find('=') == std::string::npos)
                text += EntryLines(name, it->second);
        }
        text += "\n";
    }
    return text;
}

// Through the structure files' atomic writer: never half written, mode and link target kept.
bool CInit::SaveInit() const
{
    std::string error;
    return !_init.empty() && CDiskFile::Replace(_init, Layout(), error);
}
