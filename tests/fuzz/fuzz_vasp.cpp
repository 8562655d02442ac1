#include "cvasp.h"
#include "fuzz_reader.h"

// Files without a symbol line take their two species from this POTCAR beside them.
static const std::string &Potcar()
{
    static const std::string path = [] {
        const std::string p = fuzz::Folder() + "/POTCAR";
        const std::string text = "   VRHFIN =Ga: d s p\n   VRHFIN =As: s p\n";
        fuzz::Write(p, reinterpret_cast<const uint8_t *>(text.data()), text.size());
        return p;
    }();
    return path;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Potcar();
    // Positions go through the scale factor and the inverse cell, so only the atoms and their
    // elements are compared.
    return fuzz::ReadSaveRead<CVasp>(data, size, "POSCAR", -1.0);
}
