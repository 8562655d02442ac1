#include "cpdb.h"
#include "fuzz_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Three decimals are written.
    return fuzz::ReadSaveRead<CPdb>(data, size, "input.pdb", 5.01e-4);
}
