#include "cvolumegrid.h"

#include <algorithm>
#include <limits>

#include "paralleltasks.h"

glm::uvec3 CVolumeGrid::FileCounts() const
{
    return is_reversed ? glm::uvec3(u_counts.z, u_counts.y, u_counts.x) : u_counts;
}

void CVolumeGrid::Summarise()
{
    for (SBlock &block : v_blocks)
        SummariseBlock(block);
}

// A brick's range takes the points of its far faces too (wrapping), since its last cells end
// there; a surface through any of its cells then lies within the range.
void CVolumeGrid::SummariseBlock(SBlock &block) const
{
    const glm::uvec3 n = u_counts, bricks = BrickCounts();
    block.v_brick.assign(size_t(bricks.x) * bricks.y * bricks.z, SRange());
    std::vector<double> layer_sum(n.z, 0.0);
    const float *v = block.v_value.data();
    RunTasks(bricks.z, 0, [&](size_t bz) {
        const unsigned z0 = unsigned(bz) * BRICK, z1 = std::min(z0 + BRICK, n.z);
        for (unsigned z = z0; z < z1; ++z) {
            double sum = 0.0;
            for (size_t i = size_t(z) * n.x * n.y, end = i + size_t(n.x) * n.y; i < end; ++i)
                sum += v[i];
            layer_sum[z] = sum;
        }
        for (unsigned by = 0; by < bricks.y; ++by)
            for (unsigned bx = 0; bx < bricks.x; ++bx) {
                SRange r{std::numeric_limits<float>::max(), std::numeric_limits<float>::lowest()};
                for (unsigned z = z0; z <= z1; ++z)
                    for (unsigned y = by * BRICK; y <= std::min((by + 1) * BRICK, n.y); ++y) {
                        const float *row = v + (size_t(z % n.z) * n.y + y % n.y) * n.x;
                        const unsigned x_end = std::min((bx + 1) * BRICK, n.x);
                        for (unsigned x = bx * BRICK; x <= x_end; ++x) {
                            const float f = row[x < n.x ? x : 0];
                            r.min = std::min(r.min, f);
                            r.max = std::max(r.max, f);
                        }
                    }
                block.v_brick[(size_t(bz) * bricks.y + by) * bricks.x + bx] = r;
            }
    });
    block.sum = 0.0;
    for (double s : layer_sum)
        block.sum += s;
    block.min = std::numeric_limits<float>::max();
    block.max = std::numeric_limits<float>::lowest();
    for (const SRange &r : block.v_brick) {
        block.min = std::min(block.min, r.min);
        block.max = std::max(block.max, r.max);
    }
}
