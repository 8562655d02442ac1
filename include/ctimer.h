#ifndef CTIMER_H
#define CTIMER_H

#include <ctime>
#include <string>

// Wall clock as text, for the date stamp the PDB writer puts in its HEADER record.
class CTimer {
public:
    // Current local time in ctime() form, without the trailing line feed.
    std::string GetDate() const
    {
        std::time_t now = std::time(nullptr);
        char text[32];
        if (ctime_r(&now, text) == nullptr)
            return std::string();
        std::string s(text);
        if (!s.empty() && s.back() == '\n')
            s.pop_back();
        return s;
    }
};

#endif
