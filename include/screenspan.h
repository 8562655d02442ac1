#ifndef SCREENSPAN_H
#define SCREENSPAN_H

#include <algorithm>
#include <glm/glm.hpp>

// What the processor's sphere raster and the cull share of the screen: a matrix row as a linear
// form of a model-space point, and the pixel rows or columns a span covers.
namespace ScreenSpan {

// Row k of m, as a linear form of a model-space point (w = 1), scaled after shifting its constant.
inline glm::vec4 MatrixRow(const glm::mat4 &m, int k, float scale, float shift)
{
    return glm::vec4(m[0][k], m[1][k], m[2][k], m[3][k] + shift) * scale;
}

// A linear form at a point (of a sphere record, its xyz).
inline float Apply(const glm::vec4 &row, const glm::vec3 &p) { return row.x * p.x + row.y * p.y + row.z * p.z + row.w; }
inline float Apply(const glm::vec4 &row, const glm::vec4 &p) { return row.x * p.x + row.y * p.y + row.z * p.z + row.w; }

// The rows or columns whose pixel centres lie within [low, high], kept within [first, last]; false
// when there are none. The caller has checked that the span meets [first, last], so the clamped
// values convert to int safely (cheaper than std::ceil and std::floor, which are calls without
// SSE4.1).
inline bool PixelSpan(float low, float high, int first, int last, int &from, int &to)
{
    const float a = std::max(low - 0.5f, static_cast<float>(first) - 1.0f);
    const float b = std::min(high - 0.5f, static_cast<float>(last) + 1.0f);
    from = static_cast<int>(a);
    from += static_cast<float>(from) < a ? 1 : 0;
    to = static_cast<int>(b);
    to -= static_cast<float>(to) > b ? 1 : 0;
    from = std::max(from, first);
    to = std::min(to, last);
    return from <= to;
}

// PixelSpan of a span that may lie wholly outside [first, last].
inline bool CentreSpan(float low, float high, int first, int last, int &from, int &to)
{
    return high >= static_cast<float>(first) + 0.5f && low <= static_cast<float>(last) + 0.5f &&
           PixelSpan(low, high, first, last, from, to);
}

} // namespace ScreenSpan

#endif
