#ifndef CVASP_H
#define CVASP_H

#include <cstdint>
#include <string>
#include <vector>
#include <glm/glm.hpp>

// Placeholder shape; the format work replaces it.
class CVasp {
public:
    uint32_t header_lines = 0;
    uint32_t total_atoms = 0;
    glm::dvec3 min_coord{0.0}, max_coord{0.0};
    glm::dmat3 cell_xyz{1.0};
    bool is_periodic = false;
    std::vector<uint32_t> v_table_index, v_table_atoms;
    void DeleteAtom(unsigned int) {}
    bool ReadFile(std::string, std::string, std::vector<glm::dvec3> &, std::vector<uint32_t> &) { return false; }
    bool SaveFile(std::string, std::string, std::vector<glm::dvec3> &, std::vector<uint32_t> &) { return false; }
    glm::dvec3 GetMinCoordinate() const { return min_coord; }
    glm::dvec3 GetMaxCoordinate() const { return max_coord; }
};

#endif
