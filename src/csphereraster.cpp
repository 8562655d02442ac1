#include "csphereraster.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

#include "screenspan.h"
#include "stretches.h"

using namespace ScreenSpan;

namespace {

// Below this many spheres per thread a thread costs more than it saves.
const size_t MIN_SPHERES_PER_THREAD = 50000;
// Spheres are drawn in runs of this many, the nearest runs first, so that the tiles soon hide most
// of what lies behind; a run is read in file order or against it, nearest end first.
const size_t RUN = 4096;
// The light of a sphere point is colour * a + b, a and b depending on the point's normal alone;
// they are kept for a grid of this many points across, over the disc a sphere covers.
const int LIGHT_GRID = 256;
// Side of the square tiles whose farthest depth hides a sphere behind them whole, in pixels; the
// threads' bands of rows hold whole tiles.
const int TILE = 4;

uint32_t ColourWord(glm::vec3 c)
{
    const glm::vec3 b = glm::clamp(c, 0.0f, 1.0f) * 255.0f + 0.5f;
    return static_cast<uint32_t>(b.r) | static_cast<uint32_t>(b.g) << 8 | static_cast<uint32_t>(b.b) << 16 | 0xff000000u;
}

glm::vec3 RecordColour(const CAtomColours &c)
{
    return glm::vec3(c.colour[0], c.colour[1], c.colour[2]) / 255.0f;
}

} // namespace

glm::vec3 LightSpherePoint(glm::vec3 n, glm::vec3 eye, glm::vec3 colour)
{
    const glm::vec3 light_colour(0.6f);
    const float power = 50.0f;
    const glm::vec3 to_light = glm::vec3(4.0f) - n;
    const float d2 = glm::dot(to_light, to_light);
    const glm::vec3 l = to_light / std::sqrt(d2);
    const float cos_theta = std::clamp(glm::dot(n, l), 0.0f, 1.0f);
    const glm::vec3 e = glm::normalize(eye - n);
    const glm::vec3 r = glm::reflect(-l, n);
    const float cos_alpha = std::clamp(glm::dot(e, r), 0.0f, 1.0f);
    const float a2 = cos_alpha * cos_alpha;
    return 0.2f * colour + colour * light_colour * power * cos_theta / d2 +
           glm::vec3(0.3f) * light_colour * power * (a2 * a2 * cos_alpha) / d2;
}

void CSphereRaster::Draw(const std::vector<glm::vec4> &spheres, const std::vector<CAtomColours> &colours,
                         const SView &view, int width, int height)
{
    const size_t pixels = static_cast<size_t>(std::max(width, 0)) * static_cast<size_t>(std::max(height, 0));
    // Cleared by the threads, each its own rows.
    v_shown.resize(pixels);
    v_cell.resize(pixels);
    v_picture.resize(pixels);
    v_depth.resize(pixels);
    const int tiles_wide = (width + TILE - 1) / TILE;
    v_tile_depth.resize(static_cast<size_t>(tiles_wide) * static_cast<size_t>((height + TILE - 1) / TILE));
    if (pixels == 0)
        return;
    // Window coordinates from clip space ((c + 1) * size / 2), and window pixels per camera-space
    // unit, as the impostors size their quads.
    const glm::mat4 clip = view.projection * view.view;
    const SFrame f{MatrixRow(clip, 0, 0.5f * static_cast<float>(width), 1.0f),
                   MatrixRow(clip, 1, 0.5f * static_cast<float>(height), 1.0f), MatrixRow(view.view, 2, 1.0f, 0.0f),
                   0.5f * static_cast<float>(width) * view.projection[0][0] * view.scale, view.scale, width, height,
                   tiles_wide};
    OrderRuns(spheres, f);
    TabulateLight(view.eye);
    const unsigned parts = Threads(spheres.size(), height);
    // Each thread owns a band of rows and looks at every sphere, so no pixel has two writers and
    // the earlier sphere wins a tie whatever the split.
    const auto band = [&, parts, height](unsigned k) {
        const auto row = [parts, height](unsigned b) {
            return b == parts ? height : static_cast<int>(static_cast<long>(height) * b / parts) / TILE * TILE;
        };
        ClearRows(f, row(k), row(k + 1));
        DrawRows(spheres, f, row(k), row(k + 1));
        LightRows(colours, view, f, row(k), row(k + 1));
    };
    std::vector<std::thread> workers;
    for (unsigned k = 1; k < parts; ++k)
        workers.emplace_back(band, k);
    band(0);
    for (std::thread &w : workers)
        w.join();
}

unsigned CSphereRaster::Threads(size_t spheres, int rows) const
{
    const size_t wanted = u_threads > 0 ? u_threads : PayingParts(spheres, MIN_SPHERES_PER_THREAD);
    return static_cast<unsigned>(std::max<size_t>(std::min<size_t>(wanted, static_cast<size_t>(rows)), 1));
}

// Runs by their mean depth, nearest first; ties keep file order, so the order depends on the view
// alone.
void CSphereRaster::OrderRuns(const std::vector<glm::vec4> &spheres, const SFrame &f)
{
    const size_t runs = (spheres.size() + RUN - 1) / RUN;
    std::vector<float> depth(runs, 0.0f);
    v_runs.resize(runs);
    for (size_t k = 0; k < runs; ++k) {
        const size_t first = k * RUN, last = std::min(first + RUN, spheres.size()) - 1;
        for (size_t i = first; i <= last; ++i)
            depth[k] += Apply(f.wz, spheres[i]);
        // NaN depths sort last.
        if (!(depth[k] == depth[k]))
            depth[k] = -std::numeric_limits<float>::infinity();
        const bool is_backward = Apply(f.wz, spheres[last]) > Apply(f.wz, spheres[first]);
        v_runs[k] = {first, last, is_backward};
    }
    std::vector<size_t> order(runs);
    for (size_t k = 0; k < runs; ++k)
        order[k] = k;
    std::stable_sort(order.begin(), order.end(), [&depth](size_t a, size_t b) { return depth[a] > depth[b]; });
    std::vector<SRun> sorted(runs);
    for (size_t k = 0; k < runs; ++k)
        sorted[k] = v_runs[order[k]];
    v_runs.swap(sorted);
}

// Rows [begin, end) and their tiles show nothing.
void CSphereRaster::ClearRows(const SFrame &f, int begin, int end)
{
    const float nothing = -std::numeric_limits<float>::infinity();
    const auto at = [](int row, int width) { return static_cast<std::ptrdiff_t>(row) * width; };
    std::fill(v_shown.begin() + at(begin, f.width), v_shown.begin() + at(end, f.width), 0u);
    std::fill(v_depth.begin() + at(begin, f.width), v_depth.begin() + at(end, f.width), nothing);
    std::fill(v_tile_depth.begin() + at(begin / TILE, f.tiles_wide),
              v_tile_depth.begin() + at((end + TILE - 1) / TILE, f.tiles_wide), nothing);
}

void CSphereRaster::DrawRows(const std::vector<glm::vec4> &spheres, const SFrame &f, int begin, int end)
{
    for (const SRun &run : v_runs) {
        if (run.is_backward) {
            for (size_t i = run.last + 1; i-- > run.first;)
                DrawSphere(spheres, i, f, begin, end);
        } else {
            for (size_t i = run.first; i <= run.last; ++i)
                DrawSphere(spheres, i, f, begin, end);
        }
    }
}

// Sphere i in rows [begin, end), unless tiles nearer than its front cover it.
void CSphereRaster::DrawSphere(const std::vector<glm::vec4> &spheres, size_t i, const SFrame &f, int begin, int end)
{
    const float top = static_cast<float>(end) - 0.5f, bottom = static_cast<float>(begin) + 0.5f;
    const float right = static_cast<float>(f.width) - 0.5f;
    {
        const glm::vec4 &p = spheres[i];
        const float r = p.w * f.scale;
        const float rp = p.w * f.unit;
        const float cy = Apply(f.wy, p);
        // Also false for a radius of 0 and for coordinates that are not numbers.
        if (!(r > 0.0f && cy + rp >= bottom && cy - rp <= top))
            return;
        const float cx = Apply(f.wx, p);
        glm::ivec2 low(0), high(0);
        if (!(cx + rp >= 0.5f && cx - rp <= right) || !PixelSpan(cy - rp, cy + rp, begin, end - 1, low.y, high.y) ||
            !PixelSpan(cx - rp, cx + rp, 0, f.width - 1, low.x, high.x))
            return;
        const float z = Apply(f.wz, p);
        if (IsHidden(z + r, low / TILE, high / TILE, f))
            return;
        if (DrawPixels(i, glm::vec3(cx, cy, z), r, rp, low.y, high.y, f))
            UpdateTiles(low / TILE, high / TILE, f);
    }
}

// Whether every tile of [low, high] lies in front of depth `front` (at equal depth the sphere may
// still win a tie).
bool CSphereRaster::IsHidden(float front, glm::ivec2 low, glm::ivec2 high, const SFrame &f) const
{
    for (int ty = low.y; ty <= high.y; ++ty)
        for (int tx = low.x; tx <= high.x; ++tx)
            if (front >= v_tile_depth[static_cast<size_t>(ty) * static_cast<size_t>(f.tiles_wide) + tx])
                return false;
    return true;
}

// The sphere's pixels in rows y0 to y1 (c: its window centre and camera depth); true when it
// showed in any.
bool CSphereRaster::DrawPixels(size_t i, glm::vec3 c, float r, float rp, int y0, int y1, const SFrame &f)
{
    bool is_shown = false;
    const float inverse = 1.0f / (rp * rp);
    const float cells = 0.5f * LIGHT_GRID / rp;
    for (int y = y0; y <= y1; ++y) {
        const float dy = static_cast<float>(y) + 0.5f - c.y;
        const int cell_row = std::clamp(static_cast<int>(dy * cells + 0.5f * LIGHT_GRID), 0, LIGHT_GRID - 1) * LIGHT_GRID;
        const float reach = std::sqrt(std::max(rp * rp - dy * dy, 0.0f));
        int x0 = 0, x1 = 0;
        if (!PixelSpan(c.x - reach, c.x + reach, 0, f.width - 1, x0, x1))
            continue;
        const size_t row = static_cast<size_t>(y) * static_cast<size_t>(f.width);
        for (int x = x0; x <= x1; ++x) {
            float &depth = v_depth[row + static_cast<size_t>(x)];
            // The sphere's front already behind what the pixel shows: hidden spheres stop here.
            if (c.z + r < depth)
                continue;
            const float dx = static_cast<float>(x) + 0.5f - c.x;
            const float q = (dx * dx + dy * dy) * inverse;
            if (q > 1.0f)
                continue;
            const float front = c.z + r * std::sqrt(1.0f - q);
            uint32_t &shown = v_shown[row + static_cast<size_t>(x)];
            // Runs are drawn out of file order; a tie still goes to the earlier sphere.
            if (front > depth || (front == depth && i + 1 < shown)) {
                depth = front;
                shown = static_cast<uint32_t>(i + 1);
                v_cell[row + static_cast<size_t>(x)] = static_cast<uint16_t>(
                    cell_row + std::clamp(static_cast<int>(dx * cells + 0.5f * LIGHT_GRID), 0, LIGHT_GRID - 1));
                is_shown = true;
            }
        }
    }
    return is_shown;
}

// The farthest depth of each tile of [low, high] again, after pixels there came nearer.
void CSphereRaster::UpdateTiles(glm::ivec2 low, glm::ivec2 high, const SFrame &f)
{
    for (int ty = low.y; ty <= high.y; ++ty)
        for (int tx = low.x; tx <= high.x; ++tx) {
            float farthest = std::numeric_limits<float>::infinity();
            for (int y = ty * TILE; y < std::min((ty + 1) * TILE, f.height); ++y)
                for (int x = tx * TILE; x < std::min((tx + 1) * TILE, f.width); ++x)
                    farthest = std::min(farthest, v_depth[static_cast<size_t>(y) * static_cast<size_t>(f.width) + x]);
            v_tile_depth[static_cast<size_t>(ty) * static_cast<size_t>(f.tiles_wide) + tx] = farthest;
        }
}

// The light's two terms over the grid of sphere points, for a camera at `eye` (kept while it
// stays there, as it does while the structure turns).
void CSphereRaster::TabulateLight(glm::vec3 eye)
{
    if (!v_light.empty() && eye == light_eye)
        return;
    v_light.resize(static_cast<size_t>(LIGHT_GRID) * LIGHT_GRID);
    for (int y = 0; y < LIGHT_GRID; ++y)
        for (int x = 0; x < LIGHT_GRID; ++x) {
            glm::vec2 corner = (glm::vec2(x, y) + 0.5f) * (2.0f / LIGHT_GRID) - 1.0f;
            corner /= std::max(glm::length(corner), 1.0f);
            const glm::vec3 n(corner, std::sqrt(std::max(1.0f - glm::dot(corner, corner), 0.0f)));
            const float b = LightSpherePoint(n, eye, glm::vec3(0.0f)).x;
            v_light[static_cast<size_t>(y) * LIGHT_GRID + x] = glm::vec2(LightSpherePoint(n, eye, glm::vec3(1.0f)).x - b, b);
        }
    light_eye = eye;
}

void CSphereRaster::LightRows(const std::vector<CAtomColours> &colours, const SView &view, const SFrame &f, int begin,
                              int end)
{
    const size_t first = static_cast<size_t>(begin) * static_cast<size_t>(f.width);
    const size_t last = static_cast<size_t>(end) * static_cast<size_t>(f.width);
    for (size_t k = first; k < last; ++k) {
        if (v_shown[k] == 0) {
            v_picture[k] = 0;
            continue;
        }
        const size_t i = v_shown[k] - 1;
        const glm::vec2 light = v_light[v_cell[k]];
        const CAtomColours &c = colours[i];
        const bool is_marked = static_cast<int64_t>(i) == view.selected || (view.is_marks && c.colour[3] < 128);
        v_picture[k] = ColourWord((is_marked ? view.mark_colour : RecordColour(c)) * light.x + light.y);
    }
}
