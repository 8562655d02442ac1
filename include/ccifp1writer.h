#ifndef CCIFP1WRITER_H
#define CCIFP1WRITER_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <glm/glm.hpp>

// A P1 CIF, written a site at a time: the cell (when there is one), the identity operation,
// then per site its label, type symbol, fractional coordinates (Cartesian ones without a cell)
// and occupancy where known.
class CCifP1Writer {
public:
    // `name` is the path (or block name) the block is named after; `cell` none for Cartesian
    // sites.
    CCifP1Writer(const std::string &name, const glm::dmat3 *cell, bool has_occupancy);
    // A site at Cartesian `p`; an empty `label` takes the element's symbol.
    void AddSite(std::string label, uint32_t element, const glm::dvec3 &p, double occupancy);
    std::string TakeText() { return std::move(text); }

private:
    std::string text;
    glm::dmat3 inverse{1.0};
    bool is_occupancy = false;
    // Labels are the key of the loop, so repeats of a site's label get a number, and no label is
    // written twice.
    std::map<std::string, size_t> seen_labels;
    std::set<std::string> written_labels;
    std::string UniqueLabel(const std::string &label, const std::string &symbol);
};

#endif
