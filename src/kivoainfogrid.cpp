#include "kivoainfogrid.h"

#include <cmath>
#include <vector>

#include "cisosurface.h"
#include "ctextfile.h"

namespace {

nlohmann::ordered_json Vector(const glm::dvec3 &v) { return {v.x, v.y, v.z}; }

nlohmann::ordered_json Surface(const CIsosurface &s)
{
    return {{"triangles", s.m_triangle.size()}, {"vertices", s.v_position.size()}, {"area", s.Area()}};
}

} // namespace

bool ParseGridOption(int argc, char **argv, int &k, SGridOptions &options, std::string &error)
{
    const std::string arg = argv[k];
    if (k + 1 >= argc || (arg != "--grid-block" && arg != "--isosurface" && arg != "--write-mesh"))
        return false;
    std::string_view text = argv[++k];
    if (arg == "--write-mesh")
        options.mesh = text;
    else if (arg == "--grid-block") {
        options.is_block_chosen = true;
        if (CTextFile::ScanInteger(text, options.block) != EField::OK || !CTextFile::SkipSpace(text).empty() ||
            options.block < 0)
            error = "--grid-block: \"" + std::string(argv[k]) + "\" is not a block number (0 first)";
    } else {
        options.is_isosurface = true;
        if (CTextFile::ScanDouble(text, options.isovalue) != EField::OK || !CTextFile::SkipSpace(text).empty() ||
            !(options.isovalue > 0.0))
            error = "--isosurface: \"" + std::string(argv[k]) + "\" is not a positive number";
    }
    if (arg == "--write-mesh" && options.mesh.empty())
        error = "--write-mesh needs a file name";
    return true;
}

bool DescribeGrid(const CVolumeGrid *grid, const SGridOptions &options, nlohmann::ordered_json &out,
                  std::string &error)
{
    const bool is_asked = options.is_block_chosen || options.is_isosurface || !options.mesh.empty();
    if (grid == nullptr || grid->v_blocks.empty()) {
        if (is_asked)
            error = "the file holds no volumetric grid";
        return !is_asked;
    }
    if (options.block >= static_cast<long long>(grid->v_blocks.size())) {
        error = "--grid-block: no block " + std::to_string(options.block) + " (the file has " +
                std::to_string(grid->v_blocks.size()) + ", numbered from 0)";
        return false;
    }
    if (!options.mesh.empty() && !options.is_isosurface) {
        error = "--write-mesh needs --isosurface";
        return false;
    }
    nlohmann::ordered_json &g = out["grid"];
    const glm::uvec3 counts = grid->FileCounts();
    g["counts"] = {counts.x, counts.y, counts.z};
    g["voxels"] = {Vector(grid->FileVoxel(0)), Vector(grid->FileVoxel(1)), Vector(grid->FileVoxel(2))};
    g["origin"] = Vector(grid->origin);
    nlohmann::ordered_json blocks = nlohmann::ordered_json::array();
    for (size_t b = 0; b < grid->v_blocks.size(); ++b) {
        const CVolumeGrid::SBlock &block = grid->v_blocks[b];
        nlohmann::ordered_json &j = blocks.emplace_back();
        j = {{"name", block.name}, {"min", block.min}, {"max", block.max}, {"mean", grid->Mean(b)}};
        if (grid->is_density)
            j["electrons"] = grid->Integral(b);
    }
    g["blocks"] = std::move(blocks);
    g["block"] = options.block;
    if (!options.is_isosurface)
        return true;
    const size_t b = static_cast<size_t>(options.block);
    CIsosurface positive, negative;
    positive.Extract(*grid, b, static_cast<float>(options.isovalue), false);
    nlohmann::ordered_json &iso = g["isosurface"];
    iso["value"] = options.isovalue;
    iso["positive"] = Surface(positive);
    std::vector<const CIsosurface *> surfaces{&positive};
    if (grid->v_blocks[b].min < 0.0f) {
        negative.Extract(*grid, b, static_cast<float>(options.isovalue), true);
        iso["negative"] = Surface(negative);
        surfaces.push_back(&negative);
    }
    return options.mesh.empty() || CIsosurface::WriteMesh(options.mesh, surfaces, error);
}
