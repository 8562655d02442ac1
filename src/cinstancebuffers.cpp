#include "cinstancebuffers.h"

#include <algorithm>
#include <cstddef>

#include "glhelpers.h"

namespace {

// The vertex array of the atoms drawn as points, attributes as atom_point_vs reads them.
void CreatePointVertexArray(GLuint &vao, GLuint &vbo)
{
    const GLsizei stride = sizeof(CAtomPoint);
    const auto at = [](size_t offset) { return reinterpret_cast<const void *>(offset); };
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, stride, at(offsetof(CAtomPoint, atom)));
    glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride, at(offsetof(CAtomPoint, colours)));
    glVertexAttribPointer(2, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride, at(offsetof(CAtomPoint, colours) + 4));
    glVertexAttribIPointer(3, 4, GL_UNSIGNED_SHORT, stride, at(offsetof(CAtomPoint, pixels)));
    glVertexAttribIPointer(4, 1, GL_INT, stride, at(offsetof(CAtomPoint, id)));
    for (GLuint k = 0; k < 5; ++k)
        glEnableVertexAttribArray(k);
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

} // namespace

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
    CreatePointVertexArray(VAOP, VBOP);
    largest_point = LargestPointSize();
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
    ReleaseVertexArray(VAOP, VBOP);
    u_point_room = 0;
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
    ++atom_uploads;
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
    const bool is_drawn = is_same && drawn_atom_uploads == atom_uploads;
    is_culled = true;
    if (!is_same)
        CullAgain(view, bond_radius);
    // A new selection keeps the cull, not the colours the points were gathered with.
    if (!is_drawn) {
        UploadAtomsDrawn();
        drawn_atom_uploads = atom_uploads;
    }
}

void CInstanceBuffers::CullAgain(const CSphereCull::SView &view, float bond_radius)
{
    // The bonds' cull of the last view reads the cull about to be rebuilt.
    TakeCulledBonds();
    if (grid_sphere_uploads != sphere_uploads) {
        if (!grid.Refit(v_atom_records))
            grid.Build(v_atom_records);
        grid_sphere_uploads = sphere_uploads;
    }
    cull.Build(grid, view);
    culled_view = view;
    culled_sphere_uploads = sphere_uploads;
    culled_bond_radius = bond_radius;
    CullBondsBeside();
}

// The atoms the cull kept: as points where they may be, else as lists of the quads drawn.
void CInstanceBuffers::UploadAtomsDrawn()
{
    const std::vector<glm::u16vec4> &shown = cull.SphereRectangles();
    float widest = 0.0f;
    for (const glm::u16vec4 &r : shown)
        widest = std::max(widest, static_cast<float>(std::max(r.z - r.x, r.w - r.y) + 1));
    u_atoms_drawn = cull.Spheres().size();
    is_points = !culled_view.is_multisampled && widest <= largest_point && WriteAtomPoints();
    if (is_points)
        return;
    UploadInstances(VBOD, cull.Spheres());
    UploadInstances(VBOR, shown);
}

// The points gathered straight into their buffer, which keeps its room from cull to cull; false
// when the buffer could not be written.
bool CInstanceBuffers::WriteAtomPoints()
{
    const GLsizeiptr bytes = static_cast<GLsizeiptr>(u_atoms_drawn * sizeof(CAtomPoint));
    glBindBuffer(GL_ARRAY_BUFFER, VBOP);
    if (u_atoms_drawn > u_point_room) {
        glBufferData(GL_ARRAY_BUFFER, bytes, nullptr, GL_DYNAMIC_DRAW);
        u_point_room = u_atoms_drawn;
    }
    void *points = bytes > 0 ? glMapBufferRange(GL_ARRAY_BUFFER, 0, bytes, GL_MAP_WRITE_BIT) : nullptr;
    if (points != nullptr)
        GatherAtomPoints(v_atom_records, v_atom_colours, cull.Spheres(), cull.SphereRectangles(),
                         static_cast<CAtomPoint *>(points));
    const bool is_written = bytes == 0 || (points != nullptr && glUnmapBuffer(GL_ARRAY_BUFFER) == GL_TRUE);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    return is_written;
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
