#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "cinit.h"
#include "fuzz_reader.h"

namespace {

// The value as SetFloat stores it and GetFloat gives it back.
float Stored(float v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", v);
    return std::strtof(text, nullptr);
}

bool Same(float a, float b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

std::string Contents(const std::string &path)
{
    std::string text;
    if (FILE *f = std::fopen(path.c_str(), "rb")) {
        for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f))
            text += static_cast<char>(c);
        std::fclose(f);
    }
    return text;
}

} // namespace

// Whatever the settings file holds, the store parses it, saves it, and the saved file gives back
// the colour it was given. The saved file parses cleanly, and saving what it gives back writes the
// same text again, so nothing the parser accepted was lost or changed on the way.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string path = fuzz::Folder() + "/kivoadata.ini";
    fuzz::Write(path, data, size);
    CInit store(path);
    const float red = store.GetFloat("settings", "bgr", 0.45f);
    store.SetFloat("settings", "bgr", red);
    fuzz::Check(store.SaveInit(), "the settings save");
    CInit again(path);
    fuzz::Check(Same(again.GetFloat("settings", "bgr", -1.0f), Stored(red)),
                "the colour reads back");
    fuzz::Check(again.ParseError() == 0, "the saved file parses cleanly");
    const std::string saved = Contents(path);
    fuzz::Check(again.SaveInit(), "the re-read settings save");
    fuzz::Check(Contents(path) == saved, "saving what was read back writes the same file");
    return 0;
}
