#ifndef CISOSURFACE_H
#define CISOSURFACE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>
#include <glm/glm.hpp>

#include "cvolumegrid.h"

// The surface where a block of a grid crosses a level, as indexed triangles: a pure function of
// the grid and the level, extracted on every core at full resolution. Each cell is cut into six
// tetrahedra around its main diagonal (the same cut in every cell, so neighbours share their
// faces' diagonals and the surface has no cracks), and the surface is linear in each. The grid
// wraps: cells at the far faces reach back to the first points, so the surface closes across
// the cell faces; its vertices there stand at the far face (point n, the image of point 0), so
// the triangles lie within the cell. The bricks' value ranges let whole bricks be skipped.
class CIsosurface {
public:
    // Vertices (angstrom) and their normals from the grid's gradient, pointing out of the
    // region enclosed (where the value is above the level; below minus the level for the
    // negative surface); triangles wound counter-clockwise seen from outside.
    std::vector<glm::vec3> v_position;
    std::vector<glm::vec3> v_normal;
    std::vector<glm::uvec3> m_triangle;

    // The surface around the values of block `b` above `level` or, when `is_negative`, below
    // -level.
    void Extract(const CVolumeGrid &grid, size_t b, float level, bool is_negative);
    double Area() const;
    // Writes surfaces as one mesh, OBJ or PLY by the name's extension (PLY for any other);
    // false (error says why) when the file cannot be written.
    static bool WriteMesh(const std::string &path, const std::vector<const CIsosurface *> &surfaces,
                          std::string &error);

private:
    class CExtraction;
};

#endif
