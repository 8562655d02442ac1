#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "bond_reference.h"
#include "elements.h"
#include "structure_builder.h"

namespace {

Atoms Chain(std::vector<uint32_t> elements, double step)
{
    Atoms a;
    for (size_t k = 0; k < elements.size(); ++k)
        a.Add(elements[k], {step * k, 0.0, 0.0});
    return a;
}

// What an edit must leave alone: the drawn box, the centre and the display frame.
struct Frame {
    glm::vec3 min_xyz, max_xyz, box, center;
    glm::dmat3 cell;

    explicit Frame(const CModel &m)
        : min_xyz(m.min_xyz), max_xyz(m.max_xyz), box(m.v_box_size), center(m.center_xyz), cell(m.m_cell_box)
    {
    }
    void ExpectSame(const CModel &m) const
    {
        EXPECT_EQ(m.min_xyz, min_xyz);
        EXPECT_EQ(m.max_xyz, max_xyz);
        EXPECT_EQ(m.v_box_size, box);
        EXPECT_EQ(m.center_xyz, center);
        EXPECT_EQ(m.m_cell_box, cell);
    }
};

void ExpectBondsAreTrue(CModel &m)
{
    ExpectBondsMatch(m, BruteForceBonds(DisplayedAtoms(m)));
    ExpectRecordsDescribeAtoms(m);
}

} // namespace

TEST(ModelTest, StartsEmpty)
{
    CModel m;
    EXPECT_TRUE(m.v_float_raw_xyz.empty());
    EXPECT_TRUE(m.v_atom_index.empty());
    EXPECT_TRUE(m.v_table_index.empty());
    EXPECT_TRUE(m.IsUpdated());
    EXPECT_FALSE(m.is_linked_cell || m.is_bond_eval || m.is_periodic || m.is_linked_list || m.is_centered);
    EXPECT_EQ(m.r_cut_radius, 0.0f);
    EXPECT_EQ(m.center_xyz, glm::vec3(0.0f));
}

TEST(ModelTest, CompositionFollowsFirstOccurrence)
{
    CModel m;
    m.v_atom_index = {O_INDEX, H_INDEX, H_INDEX, O_INDEX};
    m.EvalModel();
    EXPECT_EQ(m.v_table_index, (std::vector<uint32_t>{O_INDEX, H_INDEX}));
    EXPECT_EQ(m.v_table_atoms, (std::vector<uint32_t>{2, 2}));
    m.v_atom_index.assign(5, SI_INDEX);
    m.EvalModel();
    EXPECT_EQ(m.v_table_index, (std::vector<uint32_t>{SI_INDEX}));
    EXPECT_EQ(m.v_table_atoms, (std::vector<uint32_t>{5}));
    m.v_atom_index.clear();
    m.EvalModel();
    EXPECT_TRUE(m.v_table_index.empty());
    EXPECT_TRUE(m.v_table_atoms.empty());
}

TEST(ModelTest, LoadCentresTheDisplayCopyAndPadsTheBox)
{
    Atoms a;
    a.Add(C_INDEX, {0, 0, 0});
    a.Add(O_INDEX, {10, 10, 10});
    a.Add(C_INDEX, {3, 7, 1});
    a.Add(C_INDEX, {3, 7, 2.4});
    CModel m;
    LoadAtoms(m, a);
    const float pad = static_cast<float>(0.85f * 1.1);
    EXPECT_EQ(m.center_xyz, glm::vec3(5.0f));
    EXPECT_EQ(m.min_xyz, glm::vec3(-pad));
    EXPECT_EQ(m.max_xyz, glm::vec3(10.0f + pad));
    EXPECT_EQ(m.v_box_size, m.max_xyz - m.min_xyz);
    EXPECT_EQ(m.m_cell_box, glm::dmat3(glm::dvec3(m.v_box_size.x, 0, 0), glm::dvec3(0, m.v_box_size.y, 0),
                                       glm::dvec3(0, 0, m.v_box_size.z)));
    EXPECT_EQ(m.dmin_xyz, glm::dvec3(0.0));
    EXPECT_EQ(m.dmax_xyz, glm::dvec3(10.0));
    EXPECT_EQ(m.v_float_raw_xyz[0], glm::vec3(-5.0f));
    EXPECT_EQ(m.v_float_raw_xyz[1], glm::vec3(5.0f));
    EXPECT_EQ(m.v_real_xyz[2], glm::dvec3(3, 7, 1));
    // The bond midpoint moves with the atoms.
    ASSERT_EQ(m.i_number_of_bonds, 1u);
    m.EvalBondRecords();
    EXPECT_EQ(m.m_bond_xyz[0], glm::vec3(-2.0f, 2.0f, 1.7f - 5.0f));
    EXPECT_TRUE(m.is_bond_eval);
    EXPECT_FALSE(m.is_centered);
    EXPECT_TRUE(m.IsUpdated()); // no edit yet
    EXPECT_EQ(m.v_table_index, (std::vector<uint32_t>{C_INDEX, O_INDEX}));
}

TEST(ModelTest, PeriodicStructureKeepsItsCell)
{
    const glm::dmat3 cell(glm::dvec3(4, 0, 0), glm::dvec3(1, 5, 0), glm::dvec3(0, 0, 6));
    CModel m;
    FillModel(m, Chain({SI_INDEX, SI_INDEX}, 2.3));
    m.is_periodic = true;
    m.m_cell_box = cell;
    m.SetModel();
    EXPECT_EQ(m.m_cell_box, cell);
    EXPECT_EQ(m.i_number_of_bonds, 1u);
}

TEST(EditTest, NewElementChangesCompositionAndBonds)
{
    CModel m;
    Atoms a = Chain({C_INDEX, C_INDEX}, 2.0);
    a.Add(O_INDEX, {0, 0, 5});
    LoadAtoms(m, a);
    EXPECT_EQ(m.i_number_of_bonds, 0u);
    const Frame frame(m);
    const std::vector<glm::vec3> display = m.v_float_raw_xyz;

    // Silicon is large enough to bond with the carbon 2 angstrom away.
    m.SetElement(1, SI_INDEX);
    EXPECT_FALSE(m.IsUpdated());
    EXPECT_EQ(m.v_table_index, (std::vector<uint32_t>{C_INDEX, SI_INDEX, O_INDEX}));
    EXPECT_EQ(m.v_table_atoms, (std::vector<uint32_t>{1, 1, 1}));
    EXPECT_EQ(m.i_number_of_bonds, 1u);
    ExpectBondsAreTrue(m);
    EXPECT_EQ(m.v_float_raw_xyz, display);
    frame.ExpectSame(m);

    m.SetElement(2, C_INDEX);
    EXPECT_EQ(m.v_table_index, (std::vector<uint32_t>{C_INDEX, SI_INDEX}));
    EXPECT_EQ(m.v_table_atoms, (std::vector<uint32_t>{2, 1}));

    m.SetElement(1, DUMMY_ELEMENT);
    EXPECT_EQ(m.i_number_of_bonds, 0u);

    m.SetElement(3, C_INDEX);
    m.SetElement(0, periodic_table_atoms);
    EXPECT_EQ(m.v_atom_index, (std::vector<uint32_t>{C_INDEX, DUMMY_ELEMENT, C_INDEX}));
    // Neither was kept as an edit: one undo takes back the dummy.
    ASSERT_TRUE(m.Undo());
    EXPECT_EQ(m.v_atom_index[1], SI_INDEX);
}

TEST(EditTest, DeletedAtomTakesItsBondsAlong)
{
    CModel m;
    LoadAtoms(m, Chain({C_INDEX, C_INDEX, C_INDEX, C_INDEX, O_INDEX}, 1.4));
    ASSERT_EQ(BondList(m), (std::vector<Pair>{{0, 1}, {1, 2}, {2, 3}, {3, 4}}));
    const Frame frame(m);
    const glm::vec3 third = m.v_float_raw_xyz[2];

    m.DeleteAtomIndex(1);
    EXPECT_FALSE(m.IsUpdated());
    EXPECT_EQ(m.v_float_raw_xyz.size(), 4u);
    EXPECT_EQ(m.v_real_xyz.size(), 4u);
    EXPECT_EQ(m.v_float_raw_xyz[1], third);
    EXPECT_EQ(m.v_real_xyz[1], glm::dvec3(2.8, 0, 0));
    EXPECT_EQ(BondList(m), (std::vector<Pair>{{1, 2}, {2, 3}}));
    ExpectBondsAreTrue(m);
    frame.ExpectSame(m);

    m.DeleteAtomIndex(3);
    EXPECT_EQ(m.v_atom_index, (std::vector<uint32_t>{C_INDEX, C_INDEX, C_INDEX}));
    EXPECT_EQ(m.v_table_index, (std::vector<uint32_t>{C_INDEX}));
    EXPECT_EQ(m.v_table_atoms, (std::vector<uint32_t>{3}));

    m.DeleteAtomIndex(3);
    EXPECT_EQ(m.v_float_raw_xyz.size(), 3u);
    // Not kept as an edit: one undo brings back the atom deleted before.
    ASSERT_TRUE(m.Undo());
    ASSERT_EQ(m.v_float_raw_xyz.size(), 4u);
    ASSERT_TRUE(m.Redo());

    m.DeleteAtomIndex(0);
    m.DeleteAtomIndex(0);
    m.DeleteAtomIndex(0);
    EXPECT_TRUE(m.v_float_raw_xyz.empty());
    EXPECT_EQ(m.i_number_of_bonds, 0u);
    EXPECT_TRUE(m.v_table_index.empty());
}

// Moving goes through UpdateBonds, which also takes atoms moved far outside the loaded box.
TEST(EditTest, BondsFollowMovedAtoms)
{
    CModel m;
    LoadAtoms(m, Chain({C_INDEX, C_INDEX, C_INDEX}, 1.4));
    const Frame frame(m);
    m.v_float_raw_xyz[0] = glm::vec3(500.0f, -300.0f, 20.0f);
    m.v_float_raw_xyz[2] = glm::vec3(501.0f, -300.0f, 20.5f);
    m.UpdateBonds();
    EXPECT_EQ(BondList(m), (std::vector<Pair>{{0, 2}}));
    ExpectRecordsDescribeAtoms(m);
    EXPECT_EQ(m.m_bond_xyz[0], glm::vec3(500.5f, -300.0f, 20.25f));
    EXPECT_EQ(m.v_float_raw_xyz[1], glm::vec3(0.0f));
    frame.ExpectSame(m);
}

// Edits in a structure large enough for the cell search leave a bond list equal to a fresh search.
TEST(EditTest, EditsInLargeStructureKeepEveryBond)
{
    CModel m;
    LoadAtoms(m, WaterBox(3000, 5));
    ASSERT_GE(m.u_cell_number, 9u);
    m.DeleteAtomIndex(1500);
    ExpectBondsAreTrue(m);
    m.v_float_raw_xyz[7] = m.v_float_raw_xyz[2900] + glm::vec3(0.0f, 0.0f, 0.9f);
    m.v_float_raw_xyz[8] = glm::vec3(-1000.0f, 0.0f, 0.0f);
    m.UpdateBonds();
    ExpectBondsAreTrue(m);
    EXPECT_GE(m.u_cell_number, 9u);
    // Wider atoms widen the cells.
    m.SetElement(30, SI_INDEX);
    m.SetElement(31, 84);
    ExpectBondsAreTrue(m);
}

TEST(Model, CompositionCountsEveryAtomOnceInOrderOfFirstAppearance)
{
    std::mt19937 rng(11);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<uint32_t> index(rng() % 50);
        // Every other trial also numbers past any element table.
        for (uint32_t &idx : index)
            idx = rng() % 6 * (trial % 2 == 0 ? 1u : 700u);
        std::vector<uint32_t> elements, counts;
        CModel::Composition(index, elements, counts);
        ASSERT_EQ(elements.size(), counts.size());
        std::vector<uint32_t> firsts;
        for (uint32_t idx : index)
            if (std::find(firsts.begin(), firsts.end(), idx) == firsts.end())
                firsts.push_back(idx);
        EXPECT_EQ(elements, firsts);
        for (size_t k = 0; k < elements.size(); ++k)
            EXPECT_EQ(counts[k], std::count(index.begin(), index.end(), elements[k]));
    }
}

// One atom typed far away (as into the Action panel) costs about what any edit costs: the grid
// keeps its cells and the search across the cell boundary its reach, however far the atom goes.
TEST(EditTest, AnAtomMovedFarAwayKeepsTheBondSearchSmall)
{
    const Atoms water = WaterBox(3000, 5);
    for (const double far : {1.0e5, 5.0e7, 123456789.0}) {
        CModel m;
        FillModel(m, water);
        m.is_periodic = true;
        m.m_cell_box = glm::dmat3(std::cbrt(1000.0 / 0.0334));
        m.SetModel();
        m.EvalModel();
        const uint32_t cells = m.u_cell_number;
        const uint64_t pairs = m.u_pairs_tested;
        m.MoveAtom(0, glm::dvec3(far, 2.0, 3.0));
        EXPECT_EQ(m.u_cell_number, cells) << far;
        EXPECT_LE(m.u_pairs_tested, 2 * pairs) << far;
        ExpectBondsAreTrue(m);
    }
}
