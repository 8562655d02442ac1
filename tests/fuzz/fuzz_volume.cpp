#include "cchgcar.h"
#include "ccube.h"
#include "cgridtext.h"
#include "cisosurface.h"
#include "fuzz_reader.h"

namespace {

// Whatever reads is a sound grid: the values of every block, finite, with brick ranges that
// hold them; read in pieces of a few bytes it is the same grid, or the same failure; and a
// surface through it indexes its own vertices only.
template <class T>
void ReadVolume(const uint8_t *data, size_t size, const char *name)
{
    const std::string in = fuzz::Folder() + "/" + name;
    fuzz::Write(in, data, size);
    T reader, pieces;
    std::vector<glm::dvec3> xyz, xyz2;
    std::vector<uint32_t> index, index2;
    const bool ok = reader.ReadFile(fuzz::Folder(), in, xyz, index);
    CGridText::SetSplitForTesting(1 + size % 13, 3);
    const bool ok2 = pieces.ReadFile(fuzz::Folder(), in, xyz2, index2);
    CGridText::SetSplitForTesting(0, 0);
    fuzz::Check(ok == ok2 && reader.error_message == pieces.error_message, "the same outcome read in pieces");
    if (!ok) {
        fuzz::Check(!reader.error_message.empty(), "a failed read gives a reason");
        return;
    }
    const CVolumeGrid &grid = reader.grid;
    fuzz::Check(!xyz.empty() && xyz.size() == index.size() && !grid.v_blocks.empty(), "atoms and a grid");
    for (size_t b = 0; b < grid.v_blocks.size(); ++b) {
        const CVolumeGrid::SBlock &block = grid.v_blocks[b];
        fuzz::Check(block.v_value == pieces.grid.v_blocks[b].v_value, "the same values read in pieces");
        fuzz::Check(block.v_value.size() == grid.PointCount(), "a value per point");
        for (float v : block.v_value)
            fuzz::Check(std::isfinite(v) && v >= block.min && v <= block.max, "finite values within the range");
    }
    if (grid.PointCount() > 4096)
        return;
    CIsosurface surface;
    const CVolumeGrid::SBlock &first = grid.v_blocks[0];
    surface.Extract(grid, 0, 0.5f * (first.min + first.max), false);
    for (const glm::uvec3 &t : surface.m_triangle)
        fuzz::Check(t.x < surface.v_position.size() && t.y < surface.v_position.size() &&
                        t.z < surface.v_position.size(), "triangles index the surface's vertices");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ReadVolume<CChgcar>(data, size, "CHGCAR");
    ReadVolume<CCube>(data, size, "fuzz.cube");
    return 0;
}
