#include "cisosurface.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <thread>

#include "cdiskfile.h"
#include "paralleltasks.h"

namespace {

// Corners of a cell by bits: 1 along axis 0, 2 along axis 1, 4 along axis 2. The six
// tetrahedra each run from corner 0 to corner 7 through one corner with a single bit and one
// with two: every edge goes from a corner to one that has all its bits, so it starts at a point
// and runs along one of seven directions (the bits it adds).
constexpr int TETRAHEDRA[6][4] = {{0, 1, 3, 7}, {0, 1, 5, 7}, {0, 2, 3, 7},
                                  {0, 2, 6, 7}, {0, 4, 5, 7}, {0, 4, 6, 7}};
constexpr int DIRECTIONS = 7;

glm::dvec3 Offset(int corner) { return glm::dvec3(corner & 1, (corner >> 1) & 1, (corner >> 2) & 1); }

// Triangles of a cell per set of corners inside: one per tetrahedron with one or three corners
// inside, two with two.
std::array<uint8_t, 256> TriangleCounts()
{
    std::array<uint8_t, 256> counts{};
    for (int mask = 0; mask < 256; ++mask)
        for (const auto &tet : TETRAHEDRA) {
            int inside = 0;
            for (int c : tet)
                inside += (mask >> c) & 1;
            counts[mask] += inside == 2 ? 2 : inside % 2;
        }
    return counts;
}

const std::array<uint8_t, 256> TRIANGLE_COUNTS = TriangleCounts();

} // namespace

// One extraction: the grid, the level and the work shared by its two passes (counting the
// vertices and triangles of each layer of points, then writing them in place).
class CIsosurface::CExtraction {
public:
    CExtraction(const CVolumeGrid &grid, size_t b, float level, bool is_negative, CIsosurface &out)
        : n(grid.u_counts), f(grid.v_blocks[b].v_value.data()), sign(is_negative ? -1.0f : 1.0f), level(level),
          voxel(grid.m_voxel), origin(grid.origin), out(out)
    {
        gradient_to_cartesian = glm::transpose(glm::inverse(voxel));
        is_flipped = glm::determinant(voxel) < 0.0;
        MarkBricks(grid.v_blocks[b].v_brick, grid.BrickCounts());
    }

    void Run()
    {
        // Layers of points 0..n.z (the last the image of the first); cells in layers 0..n.z-1.
        std::vector<size_t> vertices(n.z + 2, 0), triangles(n.z + 1, 0);
        RunTasks(n.z + 1, 0, [&](size_t z) {
            vertices[z + 1] = CountVertices(unsigned(z));
            if (z < n.z)
                triangles[z + 1] = CountTriangles(unsigned(z));
        });
        for (size_t z = 1; z < vertices.size(); ++z)
            vertices[z] += vertices[z - 1];
        for (size_t z = 1; z < triangles.size(); ++z)
            triangles[z] += triangles[z - 1];
        vertex_base = std::move(vertices);
        triangle_base = std::move(triangles);
        out.v_position.resize(vertex_base.back());
        out.v_normal.resize(vertex_base.back());
        out.m_triangle.resize(triangle_base.back());
        const unsigned threads = std::max(std::thread::hardware_concurrency(), 1u);
        const size_t chunks = std::min<size_t>(n.z, size_t(threads) * 4);
        RunTasks(chunks, threads, [&](size_t c) { WriteChunk(unsigned(n.z * c / chunks), unsigned(n.z * (c + 1) / chunks)); });
    }

private:
    const glm::uvec3 n;
    const float *f;
    const float sign, level;
    const glm::dmat3 voxel;
    const glm::dvec3 origin;
    CIsosurface &out;
    glm::dmat3 gradient_to_cartesian{1.0};
    bool is_flipped = false;
    // Per brick, whether the surface may pass through it; per point coordinate, its brick.
    std::vector<uint8_t> v_active;
    glm::uvec3 u_bricks{0};
    std::vector<size_t> vertex_base, triangle_base;

    void MarkBricks(const std::vector<CVolumeGrid::SRange> &ranges, const glm::uvec3 &bricks)
    {
        u_bricks = bricks;
        v_active.resize(ranges.size());
        for (size_t k = 0; k < ranges.size(); ++k) {
            const float hi = sign > 0 ? ranges[k].max : -ranges[k].min;
            const float lo = sign > 0 ? ranges[k].min : -ranges[k].max;
            v_active[k] = hi > level && lo <= level;
        }
    }

    // Points are asked for up to two steps past the far face (one on a grid one point wide).
    size_t Wrap(unsigned v, unsigned count) const { return v < count ? v : v - count < count ? v - count : v % count; }
    float Value(unsigned x, unsigned y, unsigned z) const
    {
        return sign * f[(Wrap(z, n.z) * n.y + Wrap(y, n.y)) * n.x + Wrap(x, n.x)];
    }
    // Whether the brick of the cell at point (x, y, z) (wrapped) may hold surface.
    bool Active(unsigned x, unsigned y, unsigned z) const
    {
        const size_t bx = Wrap(x, n.x) / CVolumeGrid::BRICK, by = Wrap(y, n.y) / CVolumeGrid::BRICK,
                     bz = Wrap(z, n.z) / CVolumeGrid::BRICK;
        return v_active[(bz * u_bricks.y + by) * u_bricks.x + bx] != 0;
    }
    // The corners of the cell at (x, y, z) inside (above the level), as bits.
    unsigned CornerMask(unsigned x, unsigned y, unsigned z, float values[8]) const
    {
        unsigned mask = 0;
        for (int c = 0; c < 8; ++c) {
            values[c] = Value(x + (c & 1), y + ((c >> 1) & 1), z + ((c >> 2) & 1));
            mask |= unsigned(values[c] > level) << c;
        }
        return mask;
    }
    // The directions (bits 1..7) along which the edges from point (x, y, z) cross the surface.
    unsigned CrossedEdges(unsigned x, unsigned y, unsigned z, float values[8]) const
    {
        const unsigned mask = CornerMask(x, y, z, values);
        unsigned crossed = 0;
        for (unsigned d = 1; d <= DIRECTIONS; ++d) {
            const bool valid = (!(d & 1) || x < n.x) && (!(d & 2) || y < n.y) && (!(d & 4) || z < n.z);
            crossed |= unsigned(valid && ((mask ^ (mask >> d)) & 1)) << d;
        }
        return crossed;
    }

    size_t CountVertices(unsigned z) const
    {
        size_t count = 0;
        float values[8];
        for (unsigned y = 0; y <= n.y; ++y)
            for (unsigned x = 0; x <= n.x; ++x)
                if (Active(x, y, z))
                    count += size_t(__builtin_popcount(CrossedEdges(x, y, z, values)));
        return count;
    }

    size_t CountTriangles(unsigned z) const
    {
        size_t count = 0;
        float values[8];
        for (unsigned y = 0; y < n.y; ++y)
            for (unsigned x = 0; x < n.x; ++x)
                if (Active(x, y, z))
                    count += TRIANGLE_COUNTS[CornerMask(x, y, z, values)];
        return count;
    }

    // Numbers the vertices of point layer z, in the order CountVertices met them, into `index`
    // (per point and direction); writes them too when `is_written`.
    void NumberLayer(unsigned z, bool is_written, std::vector<uint32_t> &index) const
    {
        uint32_t next = uint32_t(vertex_base[z]);
        float values[8];
        for (unsigned y = 0; y <= n.y; ++y)
            for (unsigned x = 0; x <= n.x; ++x) {
                if (!Active(x, y, z))
                    continue;
                const unsigned crossed = CrossedEdges(x, y, z, values);
                for (unsigned d = 1; d <= DIRECTIONS; ++d)
                    if (crossed & (1u << d)) {
                        index[(size_t(y) * (n.x + 1) + x) * DIRECTIONS + d - 1] = next;
                        if (is_written)
                            WriteVertex(next, glm::uvec3(x, y, z), d, values[0], values[d]);
                        ++next;
                    }
            }
    }

    // The gradient (in grid steps) of the signed values at a point.
    glm::dvec3 Gradient(const glm::uvec3 &p) const
    {
        const auto at = [this](glm::uvec3 q) { return Value(q.x % n.x, q.y % n.y, q.z % n.z); };
        glm::dvec3 g;
        for (int k = 0; k < 3; ++k) {
            glm::uvec3 up = p + n, down = p + n;
            ++up[k];
            --down[k];
            g[k] = 0.5 * (double(at(up)) - double(at(down)));
        }
        return g;
    }

    void WriteVertex(uint32_t k, const glm::uvec3 &p, unsigned d, float from, float to) const
    {
        const double t = (double(level) - from) / (double(to) - from);
        const glm::dvec3 step = Offset(int(d));
        out.v_position[k] = glm::vec3(origin + voxel * (glm::dvec3(p) + t * step));
        const glm::dvec3 g = (1.0 - t) * Gradient(p) + t * Gradient(p + glm::uvec3(step));
        const glm::dvec3 normal = -(gradient_to_cartesian * g);
        const double length = glm::length(normal);
        out.v_normal[k] = length > 0.0 ? glm::vec3(normal / length) : glm::vec3(0.0f);
    }

    // Cells of layers z0..z1-1, with the vertices of point layers z0..z1-1 (and of the last, the
    // image of the first, for the chunk that ends there).
    void WriteChunk(unsigned z0, unsigned z1) const
    {
        const size_t layer = size_t(n.x + 1) * (n.y + 1) * DIRECTIONS;
        std::vector<uint32_t> below(layer), above(layer);
        NumberLayer(z0, true, below);
        size_t next = triangle_base[z0];
        for (unsigned z = z0; z < z1; ++z) {
            NumberLayer(z + 1, z + 1 < z1 || z + 1 == n.z, above);
            float values[8];
            for (unsigned y = 0; y < n.y; ++y)
                for (unsigned x = 0; x < n.x; ++x) {
                    if (!Active(x, y, z))
                        continue;
                    const unsigned mask = CornerMask(x, y, z, values);
                    if (TRIANGLE_COUNTS[mask] == 0)
                        continue;
                    const auto vertex = [&](int a, int b) {
                        const int from = a & b, d = a ^ b;
                        const std::vector<uint32_t> &index = from & 4 ? above : below;
                        const size_t point = size_t(y + ((from >> 1) & 1)) * (n.x + 1) + x + (from & 1);
                        return index[point * DIRECTIONS + d - 1];
                    };
                    for (const auto &tet : TETRAHEDRA)
                        next = CutTetrahedron(tet, mask, values, vertex, next);
                }
            below.swap(above);
        }
    }

    // Where the edge between corners a and b crosses the level, in cell steps.
    glm::dvec3 Crossing(int a, int b, const float values[8]) const
    {
        const double t = (double(level) - values[a]) / (double(values[b]) - values[a]);
        return Offset(a) + t * (Offset(b) - Offset(a));
    }

    // The triangle of edges (a0 b0) (a1 b1) (a2 b2), wound so that it faces away from `inside`
    // (a point inside, in cell steps).
    template <class V>
    size_t Triangle(const int (&e)[3][2], const glm::dvec3 &inside, const float values[8], V &vertex, size_t k) const
    {
        const glm::dvec3 p0 = Crossing(e[0][0], e[0][1], values), p1 = Crossing(e[1][0], e[1][1], values),
                         p2 = Crossing(e[2][0], e[2][1], values);
        const bool is_outward = (glm::dot(glm::cross(p1 - p0, p2 - p0), p0 - inside) > 0.0) != is_flipped;
        const uint32_t i0 = vertex(e[0][0], e[0][1]), i1 = vertex(e[1][0], e[1][1]), i2 = vertex(e[2][0], e[2][1]);
        out.m_triangle[k] = is_outward ? glm::uvec3(i0, i1, i2) : glm::uvec3(i0, i2, i1);
        return k + 1;
    }

    template <class V>
    size_t CutTetrahedron(const int (&tet)[4], unsigned mask, const float values[8], V &vertex, size_t k) const
    {
        int in[4], out_[4], ins = 0, outs = 0;
        for (int c : tet)
            if ((mask >> c) & 1)
                in[ins++] = c;
            else
                out_[outs++] = c;
        if (ins == 1 || ins == 3) {
            // The corner alone on its side, and the three edges from it.
            const int lone = ins == 1 ? in[0] : out_[0];
            const int *others = ins == 1 ? out_ : in;
            const int e[3][2] = {{lone, others[0]}, {lone, others[1]}, {lone, others[2]}};
            const glm::dvec3 inside = ins == 1 ? Offset(lone) : (Offset(in[0]) + Offset(in[1]) + Offset(in[2])) / 3.0;
            return Triangle(e, inside, values, vertex, k);
        }
        if (ins != 2)
            return k;
        const glm::dvec3 inside = 0.5 * (Offset(in[0]) + Offset(in[1]));
        const int first[3][2] = {{in[0], out_[0]}, {in[0], out_[1]}, {in[1], out_[1]}};
        const int second[3][2] = {{in[0], out_[0]}, {in[1], out_[1]}, {in[1], out_[0]}};
        k = Triangle(first, inside, values, vertex, k);
        return Triangle(second, inside, values, vertex, k);
    }
};

void CIsosurface::Extract(const CVolumeGrid &grid, size_t b, float level, bool is_negative)
{
    v_position.clear();
    v_normal.clear();
    m_triangle.clear();
    if (b >= grid.v_blocks.size() || grid.PointCount() == 0)
        return;
    CExtraction(grid, b, level, is_negative, *this).Run();
}

double CIsosurface::Area() const
{
    double area = 0.0;
    for (const glm::uvec3 &t : m_triangle) {
        const glm::dvec3 a(v_position[t.x]), b(v_position[t.y]), c(v_position[t.z]);
        area += 0.5 * glm::length(glm::cross(b - a, c - a));
    }
    return area;
}

bool CIsosurface::WriteMesh(const std::string &path, const std::vector<const CIsosurface *> &surfaces,
                            std::string &error)
{
    const bool is_obj = path.size() >= 4 && (path.compare(path.size() - 4, 4, ".obj") == 0 ||
                                             path.compare(path.size() - 4, 4, ".OBJ") == 0);
    size_t vertices = 0, triangles = 0;
    for (const CIsosurface *s : surfaces) {
        vertices += s->v_position.size();
        triangles += s->m_triangle.size();
    }
    std::string text;
    char line[160];
    if (!is_obj)
        text = "ply\nformat ascii 1.0\nelement vertex " + std::to_string(vertices) +
               "\nproperty float x\nproperty float y\nproperty float z\nproperty float nx\nproperty float ny\n"
               "property float nz\nelement face " + std::to_string(triangles) +
               "\nproperty list uchar int vertex_indices\nend_header\n";
    for (const CIsosurface *s : surfaces)
        for (size_t i = 0; i < s->v_position.size(); ++i) {
            const glm::vec3 &p = s->v_position[i], &q = s->v_normal[i];
            const int length = is_obj ? std::snprintf(line, sizeof line, "v %.7g %.7g %.7g\nvn %.7g %.7g %.7g\n", p.x,
                                                      p.y, p.z, q.x, q.y, q.z)
                                      : std::snprintf(line, sizeof line, "%.7g %.7g %.7g %.7g %.7g %.7g\n", p.x, p.y,
                                                      p.z, q.x, q.y, q.z);
            text.append(line, size_t(length));
        }
    size_t base = 0;
    for (const CIsosurface *s : surfaces) {
        for (const glm::uvec3 &t : s->m_triangle) {
            const size_t a = base + t.x, b = base + t.y, c = base + t.z;
            const int length = is_obj ? std::snprintf(line, sizeof line, "f %zu//%zu %zu//%zu %zu//%zu\n", a + 1,
                                                      a + 1, b + 1, b + 1, c + 1, c + 1)
                                      : std::snprintf(line, sizeof line, "3 %zu %zu %zu\n", a, b, c);
            text.append(line, size_t(length));
        }
        base += s->v_position.size();
    }
    return CDiskFile::Replace(path, text, error);
}
