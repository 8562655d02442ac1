#include "cisosurface.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <thread>

#ifdef __SSE2__
#include <xmmintrin.h>
#endif

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
// Marks a vertex index of the layer after a chunk, numbered by the chunk that owns it.
constexpr uint32_t NEXT_CHUNK = 0x80000000u;

// Set bits per byte value, looked up: a popcount is a library call on plain x86-64.
struct SBitCounts {
    uint8_t of[256] = {};
    constexpr SBitCounts()
    {
        for (unsigned v = 1; v < 256; ++v)
            of[v] = uint8_t(of[v >> 1] + (v & 1));
    }
};
constexpr SBitCounts BIT_COUNTS;

unsigned Bits(unsigned v) { return BIT_COUNTS.of[v & 0xFF]; }

#ifdef __SSE2__
// Per four-bit mask, four bytes of 0 or 1 (the bits in order), for the inside marks.
struct SSpread {
    uint32_t of[16] = {};
    constexpr SSpread()
    {
        for (unsigned m = 0; m < 16; ++m)
            for (unsigned k = 0; k < 4; ++k)
                of[m] |= ((m >> k) & 1u) << (8 * k);
    }
};
constexpr SSpread SPREAD;
#endif

glm::dvec3 Offset(int corner) { return glm::dvec3(corner & 1, (corner >> 1) & 1, (corner >> 2) & 1); }

// The triangles of a cell per set of corners inside, each as three edges (corner pairs), wound
// counter-clockwise seen from outside in a right-handed grid. Within a tetrahedron the values
// are linear, so its piece of surface is a plane polygon whose winding follows from the corners
// alone; it is worked out once here with the edges cut in their middles.
struct SCellCases {
    struct STriangle {
        uint8_t edge[3][2];
    };
    std::array<std::vector<STriangle>, 256> triangles;

    SCellCases()
    {
        for (unsigned mask = 0; mask < 256; ++mask)
            for (const auto &tet : TETRAHEDRA)
                Cut(tet, mask, triangles[mask]);
    }

    static void Add(const int (&e)[3][2], const glm::dvec3 &inside, std::vector<STriangle> &out)
    {
        glm::dvec3 p[3];
        for (int k = 0; k < 3; ++k)
            p[k] = 0.5 * (Offset(e[k][0]) + Offset(e[k][1]));
        const bool is_outward = glm::dot(glm::cross(p[1] - p[0], p[2] - p[0]), p[0] - inside) > 0.0;
        STriangle t;
        for (int k = 0; k < 3; ++k) {
            const int j = is_outward || k == 0 ? k : 3 - k;
            t.edge[k][0] = uint8_t(e[j][0]);
            t.edge[k][1] = uint8_t(e[j][1]);
        }
        out.push_back(t);
    }

    static void Cut(const int (&tet)[4], unsigned mask, std::vector<STriangle> &out)
    {
        int in[4], away[4], ins = 0, outs = 0;
        for (int c : tet)
            if ((mask >> c) & 1)
                in[ins++] = c;
            else
                away[outs++] = c;
        if (ins == 1 || ins == 3) {
            // The corner alone on its side, and the three edges from it.
            const int lone = ins == 1 ? in[0] : away[0];
            const int *others = ins == 1 ? away : in;
            const int e[3][2] = {{lone, others[0]}, {lone, others[1]}, {lone, others[2]}};
            Add(e, ins == 1 ? Offset(lone) : (Offset(in[0]) + Offset(in[1]) + Offset(in[2])) / 3.0, out);
        } else if (ins == 2) {
            const glm::dvec3 inside = 0.5 * (Offset(in[0]) + Offset(in[1]));
            const int first[3][2] = {{in[0], away[0]}, {in[0], away[1]}, {in[1], away[1]}};
            const int second[3][2] = {{in[0], away[0]}, {in[1], away[1]}, {in[1], away[0]}};
            Add(first, inside, out);
            Add(second, inside, out);
        }
    }
};

const SCellCases CELL_CASES;

// Per set of corners inside, the directions (bits 1..7) along which the edges from corner 0
// cross the surface.
std::array<uint8_t, 256> CrossedDirections()
{
    std::array<uint8_t, 256> crossed{};
    for (unsigned mask = 0; mask < 256; ++mask)
        for (unsigned d = 1; d <= DIRECTIONS; ++d)
            crossed[mask] |= uint8_t(((mask ^ (mask >> d)) & 1) << d);
    return crossed;
}

const std::array<uint8_t, 256> CROSSED = CrossedDirections();

} // namespace

// One extraction: the grid and the level, and the chunks of cell layers that are extracted on
// the threads, each into meshes of its own that are joined at the end.
class CIsosurface::CExtraction {
public:
    CExtraction(const CVolumeGrid &grid, size_t b, float level, bool is_negative, CIsosurface &out)
        : n(grid.u_counts), f(grid.v_blocks[b].v_value.data()), sign(is_negative ? -1.0f : 1.0f), level(level),
          voxel(grid.m_voxel), origin(grid.origin), out(out)
    {
        gradient_to_cartesian = glm::mat3(glm::transpose(glm::inverse(voxel)));
        is_flipped = glm::determinant(voxel) < 0.0;
        MarkBricks(grid.v_blocks[b].v_brick, grid.BrickCounts());
    }

    void Run()
    {
        const unsigned threads = std::max(std::thread::hardware_concurrency(), 1u);
        const size_t count = std::min<size_t>(n.z, size_t(threads) * 2);
        std::vector<CIsosurface> chunks(count);
        RunTasks(count, threads, [&](size_t c) {
            Chunk(unsigned(n.z * c / count), unsigned(n.z * (c + 1) / count), chunks[c]);
        });
        Join(chunks);
    }

private:
    const glm::uvec3 n;
    const float *f;
    const float sign, level;
    const glm::dmat3 voxel;
    const glm::dvec3 origin;
    CIsosurface &out;
    glm::mat3 gradient_to_cartesian{1.0f};
    bool is_flipped = false;
    // Per brick, whether the surface may pass through it.
    std::vector<uint8_t> v_active;
    glm::uvec3 u_bricks{0};

    // A layer of points: per point (one more each way than the far face, wrapped) whether it is
    // inside; and, in the layers numbered, the corners inside of the cell at each point, the
    // directions (bits 1..7) its edges cross the surface along and the first of its vertices (one
    // per direction, in direction order).
    struct SLayer {
        std::vector<uint8_t> inside;
        std::vector<uint8_t> mask;
        std::vector<uint8_t> crossed;
        std::vector<uint32_t> first;
    };

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
    static unsigned Wrap(unsigned v, unsigned count) { return v < count ? v : v - count < count ? v - count : v % count; }
    float Value(unsigned x, unsigned y, unsigned z) const
    {
        return sign * f[(size_t(Wrap(z, n.z)) * n.y + Wrap(y, n.y)) * n.x + Wrap(x, n.x)];
    }
    // Calls visit(x, y) for the points of layer z whose cell's brick (wrapped) may hold surface:
    // points 0..n-1 along x and y, and with `is_far_face` point n too (the image of point 0).
    template <class F>
    void ForActivePoints(unsigned z, bool is_far_face, F &&visit) const
    {
        constexpr unsigned B = CVolumeGrid::BRICK;
        const size_t bz = Wrap(z, n.z) / B;
        for (unsigned y = 0; y < n.y + is_far_face; ++y) {
            const uint8_t *active = v_active.data() + (bz * u_bricks.y + Wrap(y, n.y) / B) * u_bricks.x;
            for (unsigned bx = 0; bx < u_bricks.x; ++bx)
                if (active[bx])
                    for (unsigned x = bx * B, end = std::min((bx + 1) * B, n.x); x < end; ++x)
                        visit(x, y);
            if (is_far_face && active[0])
                visit(n.x, y);
        }
    }
    size_t Row() const { return size_t(n.x) + 2; }
    void MarkInside(unsigned z, SLayer &layer) const
    {
        layer.inside.resize(Row() * (n.y + 2));
        uint8_t *to = layer.inside.data();
        for (unsigned y = 0; y < n.y + 2; ++y) {
            const float *row = f + (size_t(Wrap(z, n.z)) * n.y + Wrap(y, n.y)) * n.x;
            unsigned x = 0;
#ifdef __SSE2__
            // Four at a time: the same products and comparisons as one at a time.
            const __m128 signs = _mm_set1_ps(sign), levels = _mm_set1_ps(level);
            for (; x + 4 <= n.x; x += 4) {
                const int bits = _mm_movemask_ps(_mm_cmpgt_ps(_mm_mul_ps(_mm_loadu_ps(row + x), signs), levels));
                std::memcpy(to + x, &SPREAD.of[bits], 4);
            }
#endif
            for (; x < n.x; ++x)
                to[x] = sign * row[x] > level;
            to[n.x] = to[0];
            to[n.x + 1] = to[Wrap(1, n.x)];
            to += Row();
        }
    }
    // The corners of the cell at (x, y) between two layers inside (above the level), as bits.
    unsigned CornerMask(unsigned x, unsigned y, const SLayer &below, const SLayer &above) const
    {
        const size_t k = size_t(y) * Row() + x, row = Row();
        const uint8_t *b = below.inside.data() + k, *a = above.inside.data() + k;
        return unsigned(b[0]) | unsigned(b[1]) << 1 | unsigned(b[row]) << 2 | unsigned(b[row + 1]) << 3 |
               unsigned(a[0]) << 4 | unsigned(a[1]) << 5 | unsigned(a[row]) << 6 | unsigned(a[row + 1]) << 7;
    }
    // The directions (bits 1..7) along which the edges from point (x, y, z) cross the surface,
    // given the corners inside of the cell there; at the far faces only the edges along them.
    unsigned CrossedEdges(unsigned x, unsigned y, unsigned z, unsigned mask) const
    {
        unsigned valid = 0xFE;
        if (x == n.x)
            valid &= 0x54; // directions without bit 1: 2, 4, 6
        if (y == n.y)
            valid &= 0x32; // without bit 2: 1, 4, 5
        if (z == n.z)
            valid &= 0x0E; // without bit 4: 1, 2, 3
        return CROSSED[mask] & valid;
    }

    // Numbers the vertices of point layer z (whose own and next inside marks are in `layer` and
    // `next_layer`) from the mesh's next vertex on, in point and direction order, and writes them
    // to `mesh` when `is_written` (else marks them as the next chunk's).
    void NumberLayer(unsigned z, bool is_written, SLayer &layer, const SLayer &next_layer, CIsosurface &mesh) const
    {
        const size_t points = size_t(n.x + 1) * (n.y + 1);
        layer.mask.assign(points, 0);
        layer.crossed.assign(points, 0);
        layer.first.resize(points);
        uint32_t next = is_written ? uint32_t(mesh.v_position.size()) : NEXT_CHUNK;
        ForActivePoints(z, true, [&](unsigned x, unsigned y) {
            const size_t k = size_t(y) * (n.x + 1) + x;
            const unsigned mask = CornerMask(x, y, layer, next_layer);
            const unsigned crossed = CrossedEdges(x, y, z, mask);
            layer.mask[k] = uint8_t(mask);
            layer.crossed[k] = uint8_t(crossed);
            layer.first[k] = next;
            if (crossed == 0)
                return;
            next += Bits(crossed);
            if (!is_written)
                return;
            const glm::uvec3 p(x, y, z);
            const glm::vec3 gradient = Gradient(p);
            for (unsigned d = 1; d <= DIRECTIONS; ++d)
                if (crossed & (1u << d))
                    WriteVertex(p, gradient, d, mesh);
        });
    }

    // The vertex on the edge from corner a to corner b of the cell at (x, y), between the
    // layers below and above.
    uint32_t Vertex(unsigned x, unsigned y, int a, int b, const SLayer &below, const SLayer &above) const
    {
        const int from = a & b, d = a ^ b;
        const SLayer &layer = from & 4 ? above : below;
        const size_t k = size_t(y + ((from >> 1) & 1)) * (n.x + 1) + x + (from & 1);
        return layer.first[k] + Bits(layer.crossed[k] & ((1u << d) - 1));
    }

    // The gradient (in grid steps) of the signed values at a point.
    glm::vec3 Gradient(const glm::uvec3 &p) const
    {
        const glm::uvec3 q(Wrap(p.x, n.x), Wrap(p.y, n.y), Wrap(p.z, n.z));
        const auto at = [this](unsigned x, unsigned y, unsigned z) { return f[(size_t(z) * n.y + y) * n.x + x]; };
        const auto down = [](unsigned v, unsigned count) { return v == 0 ? count - 1 : v - 1; };
        const auto up = [](unsigned v, unsigned count) { return v + 1 == count ? 0 : v + 1; };
        return 0.5f * sign *
               glm::vec3(at(up(q.x, n.x), q.y, q.z) - at(down(q.x, n.x), q.y, q.z),
                         at(q.x, up(q.y, n.y), q.z) - at(q.x, down(q.y, n.y), q.z),
                         at(q.x, q.y, up(q.z, n.z)) - at(q.x, q.y, down(q.z, n.z)));
    }

    // The vertex on the edge from point p (where the gradient is `gradient`) along direction d.
    void WriteVertex(const glm::uvec3 &p, const glm::vec3 &gradient, unsigned d, CIsosurface &mesh) const
    {
        const glm::dvec3 step = Offset(int(d));
        const glm::uvec3 to = p + glm::uvec3(step);
        const double from_value = Value(p.x, p.y, p.z), to_value = Value(to.x, to.y, to.z);
        const double t = (double(level) - from_value) / (to_value - from_value);
        mesh.v_position.emplace_back(origin + voxel * (glm::dvec3(p) + t * step));
        const float u = float(t);
        const glm::vec3 normal = -(gradient_to_cartesian * ((1.0f - u) * gradient + u * Gradient(to)));
        const float length = glm::length(normal);
        mesh.v_normal.push_back(length > 0.0f ? normal / length : glm::vec3(0.0f));
    }

    // Cells of layers z0..z1-1 with the vertices of point layers z0..z1-1 (and of the last, the
    // image of the first, for the chunk that ends there); those of layer z1 are the next chunk's.
    void Chunk(unsigned z0, unsigned z1, CIsosurface &mesh) const
    {
        // Layers z, z + 1 and z + 2 of the points, in turn.
        SLayer below, above, beyond;
        Reserve(z0, z1, mesh);
        MarkInside(z0, below);
        MarkInside(z0 + 1, above);
        NumberLayer(z0, true, below, above, mesh);
        for (unsigned z = z0; z < z1; ++z) {
            MarkInside(z + 2, beyond);
            NumberLayer(z + 1, z + 1 < z1 || z + 1 == n.z, above, beyond, mesh);
            ForActivePoints(z, false, [&](unsigned x, unsigned y) {
                const unsigned mask = below.mask[size_t(y) * (n.x + 1) + x];
                for (const SCellCases::STriangle &t : CELL_CASES.triangles[mask]) {
                    glm::uvec3 v;
                    for (int e = 0; e < 3; ++e)
                        v[e] = Vertex(x, y, t.edge[e][0], t.edge[e][1], below, above);
                    mesh.m_triangle.push_back(is_flipped ? glm::uvec3(v.x, v.z, v.y) : v);
                }
            });
            std::swap(below, above);
            std::swap(above, beyond);
        }
    }

    // Room for the mesh of a chunk as the bricks it crosses suggest (a surface through a brick
    // cuts some of its cells), so that it seldom grows by copies; reserved pages cost nothing
    // until written.
    void Reserve(unsigned z0, unsigned z1, CIsosurface &mesh) const
    {
        constexpr unsigned B = CVolumeGrid::BRICK;
        size_t bricks = 0;
        for (unsigned bz = z0 / B; bz <= (z1 - 1) / B; ++bz)
            bricks += size_t(std::count(v_active.begin() + long(bz * u_bricks.y * u_bricks.x),
                                        v_active.begin() + long((bz + 1) * u_bricks.y * u_bricks.x), 1));
        const size_t cells = bricks * B * B * (z1 - z0);
        mesh.v_position.reserve(cells / 2);
        mesh.v_normal.reserve(cells / 2);
        mesh.m_triangle.reserve(cells);
    }

    // The chunks' meshes as one: each chunk's vertices after those before it, and the vertices
    // it took from the next chunk's first layer renumbered as that chunk's.
    void Join(std::vector<CIsosurface> &chunks) const
    {
        std::vector<size_t> vertex_base(chunks.size() + 1, 0), triangle_base(chunks.size() + 1, 0);
        for (size_t c = 0; c < chunks.size(); ++c) {
            vertex_base[c + 1] = vertex_base[c] + chunks[c].v_position.size();
            triangle_base[c + 1] = triangle_base[c] + chunks[c].m_triangle.size();
        }
        out.v_position.resize(vertex_base.back());
        out.v_normal.resize(vertex_base.back());
        out.m_triangle.resize(triangle_base.back());
        RunTasks(chunks.size(), 0, [&](size_t c) {
            const CIsosurface &mesh = chunks[c];
            std::copy(mesh.v_position.begin(), mesh.v_position.end(), out.v_position.begin() + long(vertex_base[c]));
            std::copy(mesh.v_normal.begin(), mesh.v_normal.end(), out.v_normal.begin() + long(vertex_base[c]));
            // own + i, or for a marked index next + (i - NEXT_CHUNK), without a branch (modulo 2^32).
            const uint32_t own = uint32_t(vertex_base[c]);
            const uint32_t shift = uint32_t(vertex_base[(c + 1) % chunks.size()]) - own - NEXT_CHUNK;
            glm::uvec3 *to = out.m_triangle.data() + triangle_base[c];
            for (const glm::uvec3 &t : mesh.m_triangle)
                *to++ = glm::uvec3(own) + t + (t >> 31u) * shift;
        });
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
