#ifndef CMESH_H
#define CMESH_H

#include <vector>
#include <glm/glm.hpp>

// Unit meshes the renderer draws every atom, bond, gizmo arrow and the cell with. Pure CPU work:
// each builder resizes its array to the vertex count it writes and returns that count.

// Fewest vertices of a tube or arrow part; smaller requests are raised to this.
inline constexpr unsigned int MESH_MIN_RING = 20;
inline constexpr unsigned int CELL_BOX_VERTICES = 16;

// Icosahedron subdivided res times (2^res rows per face), one triangle strip of unit vectors.
int BuildSphereMesh(unsigned int res, std::vector<glm::vec3> &v);
// Open tube of radius 1 between z = -1 and z = +1, one triangle strip.
int BuildTubeMesh(unsigned int res, std::vector<glm::vec3> &v);
// Arrow along +z: shaft of radius 1 from z = 0 to 1 (strip) and a cone head from a rim of radius 2
// at z = 1 to the tip at z = 1.2 (fan, tip first). Both parts get the returned count.
int BuildArrowMesh(unsigned int res, std::vector<glm::vec3> &shaft, std::vector<glm::vec3> &head);
// The cell parallelepiped centred on the origin, as one line strip over its twelve edges.
void BuildCellBoxMesh(const glm::dmat3 &cell, std::vector<glm::vec3> &v);

// Turns the tube's axis (0, 0, 1) into the bond direction given as (azimuth about z, polar
// angle from z): Rz(azimuth) * Ry(polar).
glm::mat4 BondRotation(const glm::vec2 &ang);

#endif
