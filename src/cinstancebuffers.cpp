#include "cinstancebuffers.h"

#include <algorithm>

#include "glhelpers.h"

void CInstanceBuffers::Create()
{
    CreateQuadVertexArray(VAOM, IBOM);
    CreateBufferTexture(VBOM, TBOM, GL_RGBA32F);
    CreateBufferTexture(VBOK, TBOK, GL_RGBA8);
    CreateQuadVertexArray(VAOB, IBOB);
    CreateBufferTexture(VBOB, TBOB, GL_RGBA32F);
    CreateBufferTexture(VBOD, TBOD, GL_R32UI);
    CreateBufferTexture(VBOR, TBOR, GL_RGBA16UI);
    CreateBufferTexture(VBOE, TBOE, GL_R32UI);
}

void CInstanceBuffers::Release()
{
    // A cull under way ends before what it reads goes (the future waits for its thread).
    pending_bonds = std::future<std::vector<uint32_t>>();
    ReleaseBufferTexture(VBOM, TBOM);
    ReleaseBufferTexture(VBOK, TBOK);
    ReleaseBufferTexture(VBOB, TBOB);
    ReleaseBufferTexture(VBOD, TBOD);
    ReleaseBufferTexture(VBOR, TBOR);
    ReleaseBufferTexture(VBOE, TBOE);
    ReleaseVertexArray(VAOM, IBOM);
    ReleaseVertexArray(VAOB, IBOB);
    uploaded = Uploaded();
    is_culled = false;
    culled_sphere_uploads = UINT64_MAX;
    grid_sphere_uploads = UINT64_MAX;
}

bool CInstanceBuffers::SyncAtoms(const CModel &model, CPalette &pick, const CSelection &selection)
{
    if (uploaded.generation == model.u_revision && uploaded.selection == selection.Revision() &&
        uploaded.hidden == model.u_hidden_revision)
        return false;
    // A new selection colours the atoms again; their places and sizes, which the cull reads, stay.
    if (uploaded.generation != model.u_revision || uploaded.hidden != model.u_hidden_revision)
        ++sphere_uploads;
    std::vector<glm::vec4> centres;
    std::vector<CAtomColours> colours;
    BuildAtomInstances(model.v_float_raw_xyz, model.v_atom_index, pick, centres, colours);
    MarkAtoms(selection.Size() == centres.size() ? selection.Mask() : std::vector<uint8_t>(), model.Hidden(),
              centres, colours);
    UploadInstances(VBOM, centres);
    UploadInstances(VBOK, colours);
    max_atom_radius = 0.0f;
    for (const glm::vec4 &a : centres)
        max_atom_radius = std::max(max_atom_radius, a.w);
    v_atom_records = std::move(centres);
    v_atom_colours = std::move(colours);
    uploaded.generation = model.u_revision;
    uploaded.selection = selection.Revision();
    uploaded.hidden = model.u_hidden_revision;
    uploaded.atom_quads = v_atom_records.size();
    return true;
}

void CInstanceBuffers::SyncBonds(CModel &model)
{
    TakeCulledBonds();
    if (uploaded.bond_generation == model.u_revision && uploaded.bond_hidden == model.u_hidden_revision)
        return;
    std::vector<CBondInstance> bond_instances;
    const size_t bonds = model.is_bond_eval ? model.i_number_of_bonds : 0;
    model.EvalBondRecords();
    BuildBondInstances(model.m_bond_xyz, model.m_bond_ang, model.v_bond_length, bonds, bond_instances);
    if (model.is_bond_eval) {
        std::vector<glm::vec3> from, to;
        model.HalfBonds(from, to);
        AppendSegmentInstances(from, to, bond_instances);
    }
    const std::vector<glm::uvec2> ends = BondEnds(model);
    SetBondEndRadii(v_atom_records, ends, bond_instances);
    DropHiddenBonds(ends, model.Hidden(), bond_instances);
    UploadInstances(VBOB, bond_instances);
    uploaded.bond_generation = model.u_revision;
    uploaded.bond_hidden = model.u_hidden_revision;
    uploaded.bond_quads = bond_instances.size();
    v_bond_records = std::move(bond_instances);
    if (is_culled)
        CullBonds();
}

namespace {

bool IsSameView(const CSphereCull::SView &a, const CSphereCull::SView &b)
{
    return a.view == b.view && a.projection == b.projection && a.scale == b.scale && a.width == b.width &&
           a.height == b.height && a.is_multisampled == b.is_multisampled;
}

} // namespace

void CInstanceBuffers::Cull(const CSphereCull::SView &view, float bond_radius)
{
    const bool is_same = is_culled && culled_sphere_uploads == sphere_uploads && IsSameView(view, culled_view) &&
                         bond_radius == culled_bond_radius;
    is_culled = true;
    if (is_same)
        return;
    // The bonds' cull of the last view reads the cull about to be rebuilt.
    TakeCulledBonds();
    if (grid_sphere_uploads != sphere_uploads) {
        grid.Build(v_atom_records);
        grid_sphere_uploads = sphere_uploads;
    }
    cull.Build(grid, view);
    UploadInstances(VBOD, cull.Spheres());
    UploadInstances(VBOR, cull.SphereRectangles());
    u_atoms_drawn = cull.Spheres().size();
    widest_shown = 0.0f;
    for (const glm::u16vec4 &r : cull.SphereRectangles())
        widest_shown = std::max(widest_shown, static_cast<float>(std::max(r.z - r.x, r.w - r.y) + 1));
    culled_view = view;
    culled_sphere_uploads = sphere_uploads;
    culled_bond_radius = bond_radius;
    CullBondsBeside();
}

void CInstanceBuffers::CullBonds()
{
    CullBondsBeside();
    TakeCulledBonds();
}

// Software OpenGL runs the atoms' vertex stage on the calling thread alone: the bonds' cull runs
// beside it.
void CInstanceBuffers::CullBondsBeside()
{
    pending_bonds = std::async(std::launch::async, [this, radius = culled_bond_radius] {
        return cull.Segments(v_bond_records, radius);
    });
}

void CInstanceBuffers::TakeCulledBonds()
{
    if (!pending_bonds.valid())
        return;
    const std::vector<uint32_t> drawn = pending_bonds.get();
    UploadInstances(VBOE, drawn);
    u_bonds_drawn = drawn.size();
}

// The atoms of each drawn bond: the bonds, then both halves of each bond across the cell.
std::vector<glm::uvec2> CInstanceBuffers::BondEnds(const CModel &model)
{
    std::vector<glm::uvec2> ends(model.m_bond_indices.begin(),
                                 model.m_bond_indices.begin() + (model.is_bond_eval ? model.i_number_of_bonds : 0));
    for (const CPeriodicBonds::SBond &b : model.m_bond_pbc)
        ends.insert(ends.end(), 2, glm::uvec2(b.i, b.j));
    return ends;
}
