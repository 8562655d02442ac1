#include "cxyz.h"
#include "fuzz_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzz::ReadSaveRead<CXyz>(data, size, "input.xyz", 1e-12);
}
