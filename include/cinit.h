#ifndef CINIT_H
#define CINIT_H

#include <map>
#include <set>
#include <string>

// The user's settings: an INI file parsed once when the store is built, read and changed in
// memory, and written back whole by SaveInit. Look-ups ignore the case of section and name.
class CInit {
public:
    // A store tied to no file: ParseError() is -1 and SaveInit() writes nothing.
    CInit();
    explicit CInit(const std::string &filename);

    // 0 when parsed cleanly, -1 when the file can't be opened, else the first malformed line.
    int ParseError() const;
    // The number at the start of the value, or default_value when the value is absent or
    // doesn't start with a number.
    float GetFloat(const std::string &section, const std::string &name,
                   float default_value) const;
    void SetFloat(const std::string &section, const std::string &name, float value);
    // Replaces the file with the whole store, or leaves it untouched when that fails.
    bool SaveInit() const;

    // The parser's per-pair callback; `user` is the store. A repeated name adds a line.
    static int ValueHandler(void *user, const char *section, const char *name,
                            const char *value);

private:
    static std::string MakeKey(const std::string &section, const std::string &name);
    std::string Layout() const;

    int _error;
    std::string _init;
    std::map<std::string, std::string> _values;
    std::set<std::string> _sections;
};

#endif
