#ifndef CINSTANCEBUFFERS_H
#define CINSTANCEBUFFERS_H

#include <cstdint>
#include <future>
#include <vector>
#include <glad/gl.h>
#include <glm/glm.hpp>

#include "cinstance.h"
#include "cmodel.h"
#include "cpalette.h"
#include "cselection.h"
#include "cspherecull.h"

// The atoms' and bonds' records on the GPU, a quad each, read by the impostor programs from buffer
// textures. They are uploaded again only when the structure, the selection or the hidden atoms
// changed since; the bonds' are built when a frame first draws bonds, which a quick picture (also
// the first of a large structure) may leave out. Needs the OpenGL context; Release frees the GL
// objects and must run before that context goes. While culling, the quads of atoms and bonds that
// others hide in the view culled for are left out (see CSphereCull), through lists of the records
// drawn that the programs read (see impostor_drawn), or, for atoms drawn as points, through a copy of
// the records drawn (see CAtomPoint).
class CInstanceBuffers {
public:
    CInstanceBuffers() = default;
    CInstanceBuffers(const CInstanceBuffers &) = delete;
    CInstanceBuffers &operator=(const CInstanceBuffers &) = delete;

    GLuint VAOM = 0, VBOM = 0;  // atoms: centres and radii (buffer texture TBOM)
    GLuint VBOK = 0;            // atoms: colours (buffer texture TBOK)
    GLuint VAOB = 0, VBOB = 0;  // bonds (buffer texture TBOB)
    GLuint IBOM = 0, IBOB = 0;  // the corners of the atoms' and the bonds' quads
    GLuint TBOM = 0, TBOK = 0, TBOB = 0;
    GLuint VBOD = 0, TBOD = 0;  // the atoms drawn while culling (buffer texture TBOD)
    GLuint VBOR = 0, TBOR = 0;  // and the pixels each may show in (buffer texture TBOR)
    GLuint VBOE = 0, TBOE = 0;  // the bonds drawn while culling (buffer texture TBOE)
    GLuint VAOP = 0, VBOP = 0;  // or the atoms drawn as points, when they may be (see CAtomPoint)

    void Create();
    // Releases the GL objects and forgets what was uploaded; safe to call more than once.
    void Release();

    // Uploads the atoms when the structure changed since the last upload; true when it did.
    bool SyncAtoms(const CModel &model, CPalette &pick, const CSelection &selection);
    // Uploads the bonds when the structure changed since; first takes the bonds' cull in hand.
    void SyncBonds(CModel &model);

    // The records as uploaded, which the CPU raster of the quick picture reads too.
    const std::vector<glm::vec4> &AtomRecords() const { return v_atom_records; }
    const std::vector<CAtomColours> &AtomColours() const { return v_atom_colours; }
    size_t AtomQuads() const { return uploaded.atom_quads; }
    size_t BondQuads() const { return uploaded.bond_quads; }

    // Leaves out the quads hidden in `view`, bonds being tubes of `bond_radius` (culled again only
    // when the view or the records changed); Uncull draws every quad again. The bonds are culled
    // beside the atoms' drawing, on a thread of their own, and taken in hand by SyncBonds.
    void Cull(const CSphereCull::SView &view, float bond_radius);
    void Uncull() { is_culled = false; }
    bool IsCulled() const { return is_culled; }
    // The cull of the last view culled for.
    const CSphereCull &Culler() const { return cull; }
    // The quads drawn: all of them, or those left while culling.
    size_t AtomsDrawn() const { return is_culled ? u_atoms_drawn : AtomQuads(); }
    size_t BondsDrawn() const { return is_culled ? u_bonds_drawn : BondQuads(); }
    // Whether the atoms drawn are points (VAOP), not quads: culled for a single-sampled picture (a
    // point covers whole pixels, not the samples a quad covers), each over the pixels it may show
    // in, which no point wider than OpenGL allows covers.
    bool IsPointable() const { return is_culled && is_points; }
    // The largest atom radius uploaded (before the atom scale).
    float MaxAtomRadius() const { return max_atom_radius; }

private:
    // What the buffers on the GPU were built from (a difference means they are stale), and the
    // quads they hold.
    struct Uploaded {
        uint64_t generation = UINT64_MAX;
        // The selection's and the hidden atoms' revisions drawn.
        uint64_t selection = UINT64_MAX;
        uint64_t hidden = UINT64_MAX;
        size_t atom_quads = 0;
        uint64_t bond_generation = UINT64_MAX;
        uint64_t bond_hidden = UINT64_MAX;
        size_t bond_quads = 0;
    };

    Uploaded uploaded;
    std::vector<glm::vec4> v_atom_records;
    std::vector<CAtomColours> v_atom_colours;
    float max_atom_radius = 0.0f;

    std::vector<CBondInstance> v_bond_records;
    // Culling: the view culled for and the atoms' spheres it saw, and the quads left.
    bool is_culled = false;
    CSphereCull cull;
    CSphereCull::SView culled_view;
    // Uploads that changed the atoms' places or sizes; those the grid and the cull were made for.
    uint64_t sphere_uploads = 0, culled_sphere_uploads = UINT64_MAX, grid_sphere_uploads = UINT64_MAX;
    // Every upload of the atoms, and the one the atoms drawn were gathered from.
    uint64_t atom_uploads = 0, drawn_atom_uploads = UINT64_MAX;
    CSphereGrid grid;
    float culled_bond_radius = 0.0f;
    size_t u_atoms_drawn = 0, u_bonds_drawn = 0;
    bool is_points = false;      // the atoms drawn are points (VAOP)
    float largest_point = 1.0f;  // the widest point OpenGL draws, in pixels
    size_t u_point_room = 0;     // the points the points' buffer has room for

    // The bonds' cull under way.
    std::future<std::vector<uint32_t>> pending_bonds;

    static std::vector<glm::uvec2> BondEnds(const CModel &model);
    void CullBonds();
    void CullBondsBeside();
    void TakeCulledBonds();
    void CullAgain(const CSphereCull::SView &view, float bond_radius);
    void UploadAtomsDrawn();
    bool WriteAtomPoints();
};

#endif
