#include "cspherecull.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <thread>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "screenspan.h"
#include "stretches.h"

using namespace ScreenSpan;

namespace {

// Side of the square tiles whose farthest depth hides what lies behind it, in pixels.
const int TILE = 4;
// Window pixels a fragment's pixel centre may lie outside an outline through rounding. A fragment
// shows only where its pixel centre lies inside the outline, multisampled or not: the impostors
// find their point at the pixel centre and discard the pixel beside it.
const float OUTLINE_SLACK = 0.05f;
// How far inside its outline a sphere covers a single-sampled pixel: the pixel centre inside, with
// room for rounding.
const float SINGLE_SAMPLE_INSET = 0.05f;
// And every sample of a multisampled pixel: the pixel square inside (half a diagonal from its
// centre) and the coverage the lit pass gives as alpha full (a pixel's worth of its fade, which
// the shader finds from differences of neighbouring pixels), with room for rounding.
const float MULTISAMPLE_INSET = 1.1f;
// Tiles across an outline up to which the pixels it may show in are found pixel by pixel.
const int MAX_PIXEL_TILES = 8;
// Below this many spheres per thread a thread costs more than it saves.
const size_t MIN_SPHERES_PER_THREAD = 50000;
// Share of a buried stretch that the cull leaves to the bond program, far more than float rounding
// of the two ways of finding it can differ.
const float BURIED_SLACK = 1e-3f;
// Share of the camera depth range that the depth buffer surely tells apart (16 bits would do).
const float DEPTH_RESOLUTION = 1.0f / 16384.0f;


// The threads that pay for `items` spheres.
unsigned Parts(size_t items)
{
    return PayingParts(items, MIN_SPHERES_PER_THREAD);
}

// The items i < n for which is_kept(k, i), ascending, found on Parts(n) threads; k is the thread's
// part, whose items are the k-th stretch of all.
template <typename Keep>
std::vector<uint32_t> KeptInParts(size_t n, Keep is_kept)
{
    const unsigned parts = Parts(n);
    std::vector<std::vector<uint32_t>> kept(parts);
    RunStretches(n, parts, [&](unsigned k, size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i)
            if (is_kept(k, i))
                kept[k].push_back(static_cast<uint32_t>(i));
    });
    std::vector<uint32_t> all;
    for (const std::vector<uint32_t> &part : kept)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Bit x: whether `nearest` does not lie before row[x], for x < n <= 64; four pixels at a time where
// SSE2 is there.
uint64_t OpenBits(const float *row, int n, float nearest)
{
    uint64_t bits = 0;
    int x = 0;
#ifdef __SSE2__
    const __m128 front = _mm_set1_ps(nearest);
    for (; x + 4 <= n; x += 4)
        bits |= static_cast<uint64_t>(_mm_movemask_ps(_mm_cmpnlt_ps(front, _mm_loadu_ps(row + x)))) << x;
#endif
    for (; x < n; ++x)
        bits |= static_cast<uint64_t>(!(nearest < row[x])) << x;
    return bits;
}

} // namespace

void CSphereCull::SetFrame(const SView &view)
{
    static std::atomic<uint64_t> builds{0};
    u_stamp = ++builds;
    const glm::mat4 clip = view.projection * view.view;
    frame.wx = MatrixRow(clip, 0, 0.5f * static_cast<float>(view.width), 1.0f);
    frame.wy = MatrixRow(clip, 1, 0.5f * static_cast<float>(view.height), 1.0f);
    frame.wz = MatrixRow(view.view, 2, 1.0f, 0.0f);
    frame.camera = glm::mat3(view.view);
    frame.unit = 0.5f * static_cast<float>(view.width) * view.projection[0][0];
    frame.scale = view.scale;
    frame.width = std::max(view.width, 0);
    frame.height = std::max(view.height, 0);
    frame.tiles_wide = (frame.width + TILE - 1) / TILE;
    inset = view.is_multisampled ? MULTISAMPLE_INSET : SINGLE_SAMPLE_INSET;
    depth_slack = 2.0f / std::abs(view.projection[2][2]) * DEPTH_RESOLUTION;
}

void CSphereCull::BuildFromDepth(const std::vector<float> &depth, const SView &view)
{
    SetFrame(view);
    v_pixel_far = depth;
    v_pixel_far.resize(static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height),
                       -std::numeric_limits<float>::infinity());
    FoldTiles();
    v_spheres.clear();
    v_rectangles.clear();
}

void CSphereCull::Build(const std::vector<glm::vec4> &spheres, const SView &view)
{
    CSphereGrid grid;
    grid.Build(spheres);
    Build(grid, view);
}

// The cells nearest first cover the picture; then the spheres of each cell are tested against
// the whole picture. Either pass looks first at the pixels of the cell's rectangle that its
// nearest point does not lie before: most spheres of a crowded view reach none of them, and are
// then passed over at the cost of finding their place.
void CSphereCull::Build(const CSphereGrid &grid, const SView &view)
{
    SetFrame(view);
    PlaceBoxes(grid);
    // Spheres of a few pixels cover no multisampled pixel whole: the picture then stays empty and
    // its pixels are all open.
    const bool is_covered = std::any_of(grid.Cells().begin(), grid.Cells().end(),
                                        [&](const CSphereGrid::SCell &cell) { return LargestOutline(cell) > inset; });
    CoverAllPixels(grid);
    FoldTiles();
    KeepShown(grid, is_covered);
}

bool CSphereCull::MayShow(const glm::vec4 &sphere, glm::u16vec4 &rectangle) const
{
    const glm::vec3 p(sphere);
    const float r = sphere.w * frame.scale;
    const glm::vec2 c(Apply(frame.wx, p), Apply(frame.wy, p));
    const float reach = r * frame.unit + OUTLINE_SLACK;
    // A radius of 0 draws nothing; one that is not a number stays, whatever it draws.
    return !(r == 0.0f) && !IsHidden(
                               Apply(frame.wz, p) + r, c - reach, c + reach,
                               [&](glm::vec2 d) { return glm::dot(d - c, d - c) <= reach * reach; }, &rectangle);
}

// Where each cell lies in this view: its centres' bounds projected, widened by its largest
// outline, and the nearest point of its largest sphere at its nearest corner.
void CSphereCull::PlaceBoxes(const CSphereGrid &grid)
{
    v_boxes.resize(grid.Cells().size());
    for (size_t c = 0; c < v_boxes.size(); ++c) {
        const CSphereGrid::SCell &cell = grid.Cells()[c];
        const glm::vec3 mid = 0.5f * (cell.low + cell.high), half = 0.5f * (cell.high - cell.low);
        const auto spread = [&](const glm::vec4 &row) { return glm::dot(glm::abs(glm::vec3(row)), half); };
        const float r = cell.radius * frame.scale;
        const glm::vec2 reach = glm::vec2(spread(frame.wx), spread(frame.wy)) + (LargestOutline(cell) + OUTLINE_SLACK);
        const glm::vec2 at(Apply(frame.wx, mid), Apply(frame.wy, mid));
        v_boxes[c] = {at - reach, at + reach, Apply(frame.wz, mid) + spread(frame.wz) + r};
    }
}

// The outline radius of the largest sphere of the cell, in pixels.
float CSphereCull::LargestOutline(const CSphereGrid::SCell &cell) const
{
    return cell.radius * frame.scale * frame.unit;
}

// Each thread covers a band of rows of the one picture, so that no pixel has two writers.
void CSphereCull::CoverAllPixels(const CSphereGrid &grid)
{
    v_pixel_far.assign(static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height),
                       -std::numeric_limits<float>::infinity());
    std::vector<uint32_t> order;
    for (size_t c = 0; c < v_boxes.size(); ++c)
        if (grid.Cells()[c].is_bounded)
            order.push_back(static_cast<uint32_t>(c));
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return v_boxes[a].front > v_boxes[b].front; });
    const int parts = static_cast<int>(Parts(grid.Spheres().size()));
    RunStretches(static_cast<size_t>(parts), static_cast<unsigned>(parts), [&](unsigned k, size_t, size_t) {
        const int band = static_cast<int>(k);
        CoverBand(grid, order, frame.height * band / parts, frame.height * (band + 1) / parts - 1);
    });
}

// A sphere behind what is covered yet at every pixel it covers would raise none of them.
void CSphereCull::CoverBand(const CSphereGrid &grid, const std::vector<uint32_t> &order, int row_low, int row_high)
{
    SOpenPixels open;
    for (uint32_t c : order) {
        const CSphereGrid::SCell &cell = grid.Cells()[c];
        if (!(LargestOutline(cell) > inset))
            continue;
        const bool is_found = FindOpenPixels(v_boxes[c], row_low, row_high, open);
        if (is_found && open.is_none)
            continue;
        for (uint32_t k = cell.begin; k < cell.end; ++k) {
            const glm::vec4 &sphere = grid.Spheres()[k];
            if (!is_found || IsAnyOpen(open, sphere, sphere.w * frame.scale * frame.unit - inset))
                CoverPixels(sphere, row_low, row_high);
        }
    }
}

// The pixels of rows row_low to row_high whose centres lie in the box and whose depth its nearest
// point does not lie before, a bit per column; false when the box is too wide for that, or not a
// number.
bool CSphereCull::FindOpenPixels(const SBox &box, int row_low, int row_high, SOpenPixels &open) const
{
    open.is_none = true;
    if (!CentreSpan(box.low.x, box.high.x, 0, frame.width - 1, open.x0, open.x1) ||
        !CentreSpan(box.low.y, box.high.y, row_low, row_high, open.y0, open.y1))
        return box.low.x <= box.high.x && box.low.y <= box.high.y;
    if (open.x1 - open.x0 >= 64)
        return false;
    const float nearest = box.front + depth_slack;
    open.rows.resize(static_cast<size_t>(open.y1 - open.y0 + 1));
    for (int y = open.y0; y <= open.y1; ++y) {
        const float *row = v_pixel_far.data() + static_cast<size_t>(y) * static_cast<size_t>(frame.width);
        const uint64_t found = OpenBits(row + open.x0, open.x1 - open.x0 + 1, nearest);
        open.rows[static_cast<size_t>(y - open.y0)] = found;
        open.is_none = open.is_none && found == 0;
    }
    return true;
}

// Whether the centre of an open pixel lies within `reach` of the sphere's centre along both axes.
bool CSphereCull::IsAnyOpen(const SOpenPixels &open, const glm::vec4 &sphere, float reach) const
{
    // Pixel k's centre lies at k + 0.5; the spans are clamped to the open rectangle, which is not
    // negative, so that conversion rounds down.
    const glm::vec2 c = glm::vec2(Apply(frame.wx, sphere), Apply(frame.wy, sphere)) - 0.5f;
    const glm::vec2 low = glm::max(c - reach, glm::vec2(open.x0, open.y0));
    const glm::vec2 high = glm::min(c + reach, glm::vec2(open.x1, open.y1));
    if (!(low.x <= high.x && low.y <= high.y))
        return false;
    glm::ivec2 from(low), to(high);
    from += glm::ivec2(glm::lessThan(glm::vec2(from), low));
    if (from.x > to.x)
        return false;
    const uint64_t columns = (~uint64_t(0) >> (63 - (to.x - from.x))) << (from.x - open.x0);
    for (int y = from.y; y <= to.y; ++y)
        if ((open.rows[static_cast<size_t>(y - open.y0)] & columns) != 0)
            return true;
    return false;
}

// Lifts the pixels of rows row_low to row_high that the sphere covers whole to the farthest depth
// it shows within `inset` of their centres.
void CSphereCull::CoverPixels(const glm::vec4 &sphere, int row_low, int row_high)
{
    const glm::vec3 p(sphere);
    const float r = sphere.w * frame.scale;
    const float rp = r * frame.unit;
    const float reach = rp - inset;
    if (!(r > 0.0f && reach > 0.0f))
        return;
    const glm::vec3 c(Apply(frame.wx, p), Apply(frame.wy, p), Apply(frame.wz, p));
    int y0 = 0, y1 = 0;
    if (!CentreSpan(c.y - reach, c.y + reach, row_low, row_high, y0, y1))
        return;
    for (int y = y0; y <= y1; ++y) {
        const float dy = static_cast<float>(y) + 0.5f - c.y;
        const float across = std::sqrt(std::max(reach * reach - dy * dy, 0.0f));
        int x0 = 0, x1 = 0;
        if (!CentreSpan(c.x - across, c.x + across, 0, frame.width - 1, x0, x1))
            continue;
        float *row = v_pixel_far.data() + static_cast<size_t>(y) * static_cast<size_t>(frame.width);
        for (int x = x0; x <= x1; ++x) {
            const float dx = static_cast<float>(x) + 0.5f - c.x;
            const float d = std::min((std::sqrt(dx * dx + dy * dy) + inset) / rp, 1.0f);
            row[x] = std::max(row[x], c.z + r * std::sqrt(1.0f - d * d));
        }
    }
}

void CSphereCull::FoldTiles()
{
    const int tiles_high = (frame.height + TILE - 1) / TILE;
    v_tile_far.assign(static_cast<size_t>(frame.tiles_wide) * static_cast<size_t>(tiles_high),
                      std::numeric_limits<float>::infinity());
    for (int y = 0; y < frame.height; ++y) {
        const float *row = v_pixel_far.data() + static_cast<size_t>(y) * static_cast<size_t>(frame.width);
        float *tiles = v_tile_far.data() + static_cast<size_t>(y / TILE) * static_cast<size_t>(frame.tiles_wide);
        for (int x = 0; x < frame.width; ++x)
            tiles[x / TILE] = std::min(tiles[x / TILE], row[x]);
    }
}

// The spheres that may show, in the order they were given: tested one by one where they reach an
// open pixel of their cell, where the cell is too wide to tell, or, when nothing `is_covered`, all.
void CSphereCull::KeepShown(const CSphereGrid &grid, bool is_covered)
{
    const std::vector<CSphereGrid::SCell> &cells = grid.Cells();
    v_is_kept.assign(grid.Size(), 0);
    v_shown_of.resize(grid.Size());
    RunStretches(cells.size(), Parts(grid.Spheres().size()), [&](unsigned, size_t begin, size_t end) {
        SOpenPixels open;
        for (size_t c = begin; c < end; ++c) {
            const bool is_found =
                is_covered && cells[c].is_bounded && FindOpenPixels(v_boxes[c], 0, frame.height - 1, open);
            if (is_found && open.is_none)
                continue;
            for (uint32_t k = cells[c].begin; k < cells[c].end; ++k) {
                const glm::vec4 &sphere = grid.Spheres()[k];
                const uint32_t i = grid.Indices()[k];
                v_is_kept[i] = (!is_found || IsAnyOpen(open, sphere, sphere.w * frame.scale * frame.unit + OUTLINE_SLACK)) &&
                               MayShow(sphere, v_shown_of[i]);
            }
        }
    });
    v_spheres.clear();
    v_rectangles.clear();
    for (size_t i = 0; i < v_is_kept.size(); ++i)
        if (v_is_kept[i] != 0) {
            v_spheres.push_back(static_cast<uint32_t>(i));
            v_rectangles.push_back(v_shown_of[i]);
        }
}

template <typename Inside>
bool CSphereCull::IsHidden(float front, glm::vec2 low, glm::vec2 high, Inside inside, glm::u16vec4 *shown) const
{
    int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    // Wholly outside the picture there is no pixel to show in; a place that is not a number stays,
    // and may show anywhere.
    if (!CentreSpan(low.x, high.x, 0, frame.width - 1, x0, x1) || !CentreSpan(low.y, high.y, 0, frame.height - 1, y0, y1)) {
        if (shown != nullptr)
            *shown = glm::u16vec4(0, 0, frame.width - 1, frame.height - 1);
        return low.x <= high.x && low.y <= high.y;
    }
    const float nearest = front + depth_slack;
    const glm::ivec2 tile_low = glm::ivec2(x0, y0) / TILE, tile_high = glm::ivec2(x1, y1) / TILE;
    // A tile whose farthest depth lies before the front hides all its pixels; the others are looked
    // at pixel by pixel, except that past a few tiles across they bound the rectangle themselves,
    // which spares the pixels of big spheres.
    const bool is_by_pixel = shown == nullptr || glm::all(glm::lessThan(tile_high - tile_low, glm::ivec2(MAX_PIXEL_TILES)));
    glm::ivec2 first(INT32_MAX), last(INT32_MIN);
    for (int ty = tile_low.y; ty <= tile_high.y; ++ty) {
        for (int tx = tile_low.x; tx <= tile_high.x; ++tx) {
            const float tile_far = v_tile_far[static_cast<size_t>(ty) * static_cast<size_t>(frame.tiles_wide) + tx];
            if (nearest < tile_far)
                continue;
            const glm::ivec2 from = glm::max(glm::ivec2(tx, ty) * TILE, glm::ivec2(x0, y0));
            const glm::ivec2 to = glm::min(glm::ivec2(tx, ty) * TILE + (TILE - 1), glm::ivec2(x1, y1));
            if (!is_by_pixel) {
                first = glm::min(first, from);
                last = glm::max(last, to);
                continue;
            }
            for (int y = from.y; y <= to.y; ++y) {
                const float *row = v_pixel_far.data() + static_cast<size_t>(y) * static_cast<size_t>(frame.width);
                for (int x = from.x; x <= to.x; ++x) {
                    if (nearest < row[x] || !inside(glm::vec2(x, y) + 0.5f))
                        continue;
                    if (shown == nullptr)
                        return false;
                    first = glm::min(first, glm::ivec2(x, y));
                    last = glm::max(last, glm::ivec2(x, y));
                }
            }
        }
    }
    if (first.x > last.x)
        return true;
    if (shown != nullptr)
        *shown = glm::u16vec4(first.x, first.y, last.x, last.y);
    return false;
}

// How far from the centre of an atom of element radius r a tube of `radius` lies more than a
// pixel inside it, as the bond program finds it, less a share that rounding cannot undo.
float CSphereCull::Buried(float r, float radius) const
{
    const float inner = r * frame.scale - 1.0f / frame.unit;
    return inner > radius ? std::sqrt(inner * inner - radius * radius) * (1.0f - BURIED_SLACK) : 0.0f;
}

bool CSphereCull::MayShowTube(const CBondInstance &record, float radius) const
{
    const glm::vec3 mid(record.centre), half(record.half);
    // Most tubes of a crowded view lie behind others whole; then their stretch need not be found.
    if (IsTubeHidden(mid - half, mid + half, radius))
        return false;
    const float length = glm::length(frame.camera * half);
    // The stretch the bond program draws, from `from` to `to` half lengths along `half`; none when
    // its end atoms bury the tube whole.
    const float from = length > 0.0f ? Buried(record.centre.w, radius) / length - 1.0f : -1.0f;
    const float to = length > 0.0f ? 1.0f - Buried(record.half.w, radius) / length : 1.0f;
    if (!(from < to))
        return !(from >= to);
    return !IsTubeHidden(mid + half * from, mid + half * to, radius);
}

// Whether the quad of a tube of `radius` from a to b (model space) is hidden: the stretch on screen
// widened by the radius on every side.
bool CSphereCull::IsTubeHidden(const glm::vec3 &a, const glm::vec3 &b, float radius) const
{
    const glm::vec2 wa(Apply(frame.wx, a), Apply(frame.wy, a)), wb(Apply(frame.wx, b), Apply(frame.wy, b));
    const float front = std::max(Apply(frame.wz, a), Apply(frame.wz, b)) + radius;
    const float reach = radius * frame.unit + OUTLINE_SLACK;
    const float span = glm::distance(wa, wb);
    const glm::vec2 along = span > 0.0f ? (wb - wa) / span : glm::vec2(1.0f, 0.0f);
    return IsHidden(front, glm::min(wa, wb) - reach, glm::max(wa, wb) + reach, [&](glm::vec2 d) {
        const float u = glm::dot(d - wa, along), v = glm::dot(d - wa, glm::vec2(-along.y, along.x));
        return u >= -reach && u <= span + reach && std::abs(v) <= reach;
    });
}

std::vector<uint32_t> CSphereCull::Segments(const std::vector<CBondInstance> &records, float radius) const
{
    return KeptInParts(records.size(), [&](unsigned, size_t i) { return MayShowTube(records[i], radius); });
}

std::vector<uint32_t> CSphereCull::Labels(const std::vector<glm::vec4> &anchors, float lift) const
{
    // The pixels whose square holds the centre, or lies within rounding of it.
    const glm::vec2 reach(0.5f + OUTLINE_SLACK);
    return KeptInParts(anchors.size(), [&](unsigned, size_t i) {
        const glm::vec3 p(anchors[i]);
        const glm::vec2 c(Apply(frame.wx, p), Apply(frame.wy, p));
        const float front = Apply(frame.wz, p) + lift * anchors[i].w * frame.scale;
        return !IsHidden(front, c - reach, c + reach, [](glm::vec2) { return true; });
    });
}
