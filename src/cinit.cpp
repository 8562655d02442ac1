#include "cinit.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

#include <ini.h>

namespace {

// Continuation lines start with white space, so values of several lines read back as written.
std::string IndentLines(const std::string &value)
{
    std::string text;
    for (char c : value) {
        text += c;
        if (c == '\n')
            text += "  ";
    }
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
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    return text;
}

bool WriteAll(int fd, const std::string &text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
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
    std::string &text = store->_values[MakeKey(section, name)];
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
                text += name + " = " + IndentLines(it->second) + "\n";
        }
        text += "\n";
    }
    return text;
}

// Written beside the file and renamed over it, so a failed write never leaves half a file.
bool CInit::SaveInit() const
{
    if (_init.empty())
        return false;
    const std::string temp = _init + ".tmp";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool ok = WriteAll(fd, Layout()) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok && std::rename(temp.c_str(), _init.c_str()) == 0)
        return true;
    unlink(temp.c_str());
    return false;
}
