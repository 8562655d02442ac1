#include "measure.h"

#include <cmath>

#include <glm/gtc/constants.hpp>

CMeasure::CMeasure(const glm::dmat3 &cell, const glm::bvec3 &periodic)
    : is_periodic(glm::any(periodic)), is_periodic_axis(periodic), m_cell(cell), m_inverse(glm::inverse(cell))
{
}

// Rounding the fractional difference gives the nearest image in a cell of right angles; in a
// skewed cell the nearest can be one cell further on, so the neighbours are tried too.
glm::dvec3 CMeasure::Step(const glm::dvec3 &a, const glm::dvec3 &b) const
{
    const glm::dvec3 d = b - a;
    if (!is_periodic)
        return d;
    const glm::dvec3 s = m_inverse * d;
    const glm::dvec3 whole = glm::round(s) * glm::dvec3(is_periodic_axis);
    const glm::dvec3 base = m_cell * (s - whole);
    const glm::ivec3 r(is_periodic_axis);
    glm::dvec3 best = base;
    for (int i = -r.x; i <= r.x; ++i)
        for (int j = -r.y; j <= r.y; ++j)
            for (int k = -r.z; k <= r.z; ++k) {
                const glm::dvec3 v = base + m_cell * glm::dvec3(i, j, k);
                if (glm::dot(v, v) < glm::dot(best, best))
                    best = v;
            }
    return best;
}

double CMeasure::Distance(const glm::dvec3 &a, const glm::dvec3 &b) const
{
    return glm::length(Step(a, b));
}

double CMeasure::Angle(const glm::dvec3 &a, const glm::dvec3 &b, const glm::dvec3 &c) const
{
    const glm::dvec3 u = Step(b, a), v = Step(b, c);
    return glm::degrees(std::atan2(glm::length(glm::cross(u, v)), glm::dot(u, v)));
}

double CMeasure::Dihedral(const glm::dvec3 &a, const glm::dvec3 &b, const glm::dvec3 &c,
                          const glm::dvec3 &d) const
{
    const glm::dvec3 b1 = Step(a, b), b2 = Step(b, c), b3 = Step(c, d);
    const glm::dvec3 n1 = glm::cross(b1, b2), n2 = glm::cross(b2, b3);
    const double y = glm::dot(glm::cross(n1, n2), glm::normalize(b2));
    return glm::degrees(std::atan2(y, glm::dot(n1, n2)));
}
