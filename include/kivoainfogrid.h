#ifndef KIVOAINFOGRID_H
#define KIVOAINFOGRID_H

// kivoa-info's report of a volumetric file's grid: its options and its part of the JSON.

#include <string>

#include <nlohmann/json.hpp>

#include "cvolumegrid.h"

struct SGridOptions {
    long long block = 0;
    bool is_block_chosen = false;
    bool is_isosurface = false;
    double isovalue = 0.0;
    std::string mesh;
};

inline constexpr const char *GRID_USAGE =
    "                  [--grid-block N] [--isosurface V] [--write-mesh OUT.obj|OUT.ply]\n";

// Takes the grid option at argv[k] and its value (k moves past them); false when argv[k] is no
// grid option. `error` says why a value is wrong.
bool ParseGridOption(int argc, char **argv, int &k, SGridOptions &options, std::string &error);
// Adds "grid" to `out`: counts, voxel vectors and origin (angstrom, in the file's axis order),
// each block's name, extremes, mean and, for densities, electrons; with an isovalue, the
// triangles and area of the surfaces at +V and (for signed values) -V of the block chosen,
// written as a mesh when asked. False (error says why) for a grid option without a grid, a
// block that is not there, or a mesh that could not be written.
bool DescribeGrid(const CVolumeGrid *grid, const SGridOptions &options, nlohmann::ordered_json &out,
                  std::string &error);

#endif
