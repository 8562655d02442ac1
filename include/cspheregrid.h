#ifndef CSPHEREGRID_H
#define CSPHEREGRID_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include <glm/glm.hpp>

// The spheres of a structure in boxes of model space, so that a cull can pass over all the spheres
// of a box at once where others hide the box whole. Only the spheres decide the boxes: one grid
// serves every view of them, and is bounded or built again only when they change.
class CSphereGrid {
public:
    // About this many spheres to a box: fewer boxes cost less to sort and test per view, smaller
    // ones are hidden whole more often.
    static const size_t SPHERES_PER_CELL = 64;

    struct SCell {
        glm::vec3 low{0.0f}, high{0.0f}; // the bounds of its drawn spheres' centres
        float radius = 0.0f;             // the largest of their radii
        uint32_t begin = 0, end = 0;     // its spheres, in Spheres()
        // False for the last cell, of the spheres not drawn as finite balls (a place or radius
        // that is not a number, a negative radius): they may show anywhere.
        bool is_bounded = true;
    };

    // Groups spheres (centre in model space and radius), about `per_cell` to a box of a regular
    // grid; those of radius 0 draw nothing and are left out.
    void Build(const std::vector<glm::vec4> &spheres, size_t per_cell = SPHERES_PER_CELL);
    // Keeps the grouping of the spheres built from and bounds each cell again, far cheaper than a
    // new Build: for spheres that moved a little, as from one frame of a trajectory to the next.
    // False when it could not (a new count, a sphere that draws now and was left out, one in a
    // bounded cell that is no longer a finite ball) or should not (the cells grew half again as
    // wide as when grouped); the grid must then be built afresh.
    bool Refit(const std::vector<glm::vec4> &spheres);

    const std::vector<SCell> &Cells() const { return v_cells; }
    // The spheres cell by cell (after a Refit, those hidden since stay, of radius 0), and each
    // one's index in the spheres built from.
    const std::vector<glm::vec4> &Spheres() const { return v_spheres; }
    const std::vector<uint32_t> &Indices() const { return v_indices; }
    // How many spheres it was built from, those left out included.
    size_t Size() const { return u_size; }

private:
    std::vector<SCell> v_cells;
    std::vector<glm::vec4> v_spheres;
    std::vector<uint32_t> v_indices;
    size_t u_size = 0;
    double built_spread = 0.0; // Spread() when grouped

    struct SLattice;
    static SLattice LatticeOf(const std::vector<glm::vec4> &spheres, size_t per_cell);
    std::vector<uint32_t> SortByBox(const std::vector<glm::vec4> &spheres, const SLattice &lattice);
    void FindCells(const std::vector<uint32_t> &starts, size_t odd);
    void Bound(SCell &cell) const;
    double Spread() const;
};

#endif
