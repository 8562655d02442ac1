#include "ccif.h"
#include "fuzz_reader.h"

// A CIF is never saved in place, so instead of the byte-exact save of the other readers: what
// reads must be sound, refuse a save onto itself, and its P1 save must read back as the same
// atoms (wrapped into the cell, so positions are not compared).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string in = fuzz::Folder() + "/in.cif";
    const std::string out = fuzz::Folder() + "/p1.cif";
    fuzz::Write(in, data, size);
    CCif reader;
    std::vector<glm::dvec3> xyz;
    std::vector<uint32_t> index;
    if (!reader.ReadFile(fuzz::Folder(), in, xyz, index)) {
        fuzz::Check(!reader.error_message.empty(), "a failed read gives a reason");
        return 0;
    }
    fuzz::Check(!xyz.empty() && xyz.size() == index.size() && reader.v_label.size() == xyz.size(),
                "atoms, elements and labels in step");
    fuzz::Check(reader.v_occupancy.empty() || reader.v_occupancy.size() == xyz.size(), "occupancies in step");
    fuzz::Check(reader.v_atom_altloc.empty() || reader.v_atom_altloc.size() == xyz.size(), "groups in step");
    for (size_t i = 0; i < xyz.size(); ++i)
        fuzz::Check(fuzz::Finite(xyz[i]) && index[i] < periodic_table_atoms, "finite atoms, valid elements");
    fuzz::Check(!reader.SaveFile(fuzz::Folder(), in, xyz, index), "the CIF read is not replaced");
    fuzz::Check(fuzz::Bytes(in) == std::string(reinterpret_cast<const char *>(data), size), "the CIF read is untouched");
    if (!reader.SaveFile(fuzz::Folder(), out, xyz, index)) {
        fuzz::Check(!reader.error_message.empty(), "a refused save says why");
        return 0;
    }
    CCif again;
    std::vector<glm::dvec3> xyz2;
    std::vector<uint32_t> index2;
    fuzz::Check(again.ReadFile(fuzz::Folder(), out, xyz2, index2), "a P1 save reads back");
    fuzz::Check(index2 == index, "the same elements after a P1 save");
    fuzz::Check(again.is_periodic == reader.is_periodic, "the same periodicity after a P1 save");
    return 0;
}
