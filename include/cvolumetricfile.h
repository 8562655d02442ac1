#ifndef CVOLUMETRICFILE_H
#define CVOLUMETRICFILE_H

#include <cstdint>
#include <string>
#include <vector>
#include <glm/glm.hpp>

#include "cvolumegrid.h"

// What every volumetric file kind adds to the structure reader it builds on (Base): the grid it
// read, and that the file is never written back, so that the structure is saved in another format.
template <class Base>
class CVolumetricFile : public Base {
public:
    CVolumeGrid grid;

    // Refuses: the grid cannot be written back.
    bool SaveFile(std::string, std::string, std::vector<glm::dvec3> &, std::vector<uint32_t> &) override
    {
        return this->Fail(std::string("a ") + KindName() + " is not rewritten: save the structure as POSCAR, CIF, XYZ or PDB");
    }
    bool SavesInPlace() const override { return false; }
    const CVolumeGrid *Grid() const override { return &grid; }
    void ForgetSource() override
    {
        Base::ForgetSource();
        grid = CVolumeGrid();
    }

protected:
    // The kind of file, as the refusal names it.
    virtual const char *KindName() const = 0;
};

#endif
