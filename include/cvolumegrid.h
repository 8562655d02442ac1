#ifndef CVOLUMEGRID_H
#define CVOLUMEGRID_H

#include <cstddef>
#include <string>
#include <vector>
#include <glm/glm.hpp>

// Values sampled on a periodic grid, read once from a volumetric file into flat float arrays:
// point (i, j, k) stands at origin + m_voxel * (i, j, k) and its value at i + n0 (j + n1 k) of
// each block; the grid wraps, so point n0 is point 0 again. A file holds one or more blocks on
// the same grid (a charge density and its magnetisation, the orbitals of a cube).
class CVolumeGrid {
public:
    // Cells per side of the bricks whose value ranges let a surface skip whole bricks.
    static constexpr unsigned BRICK = 8;
    struct SRange {
        float min = 0.0f, max = 0.0f;
    };
    struct SBlock {
        std::string name;
        std::vector<float> v_value;
        // Per brick (x fastest), the range of the values at the corners of its cells.
        std::vector<SRange> v_brick;
        float min = 0.0f, max = 0.0f;
        double sum = 0.0;
    };

    // Points per axis, axis 0 fastest in memory.
    glm::uvec3 u_counts{0};
    // Columns: one step along axis 0, 1, 2 (angstrom).
    glm::dmat3 m_voxel{1.0};
    glm::dvec3 origin{0.0};
    // The values are densities (electrons per cubic angstrom): a block's integral is a count.
    bool is_density = false;
    // The file lists its axes the other way round (the last fastest): file axis k is axis 2 - k.
    bool is_reversed = false;
    std::vector<SBlock> v_blocks;

    size_t PointCount() const { return size_t(u_counts.x) * u_counts.y * u_counts.z; }
    glm::uvec3 BrickCounts() const { return (u_counts + glm::uvec3(BRICK - 1)) / BRICK; }
    // Volume of the periodic cell the grid spans (cubic angstrom).
    double CellVolume() const { return std::abs(glm::determinant(m_voxel)) * double(PointCount()); }
    double Mean(size_t b) const { return v_blocks[b].sum / double(PointCount()); }
    // The integral of block b over the cell (electrons for a density).
    double Integral(size_t b) const { return Mean(b) * CellVolume(); }
    // Fills each block's brick ranges, extremes and sum from its values, on every core.
    void Summarise();
    // The counts and voxel vectors in the order the file lists its axes.
    glm::uvec3 FileCounts() const;
    glm::dvec3 FileVoxel(int k) const { return m_voxel[is_reversed ? 2 - k : k]; }

private:
    void SummariseBlock(SBlock &block) const;
};

#endif
