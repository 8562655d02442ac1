#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <utility>

#include "bond_reference.h"
#include "elements.h"
#include "structure_builder.h"

namespace {

constexpr uint32_t AT_INDEX = 84; // the largest radius of the table

bool UsesCellSearch(const CModel &m) { return m.is_linked_list && m.u_cell_number >= 9; }

Atoms RandomAtoms(size_t n, double side, glm::dvec3 origin, const std::vector<uint32_t> &elements, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, side);
    std::uniform_int_distribution<size_t> pick(0, elements.size() - 1);
    Atoms a;
    for (size_t k = 0; k < n; ++k)
        a.Add(elements[pick(rng)], origin + glm::dvec3(u(rng), u(rng), u(rng)));
    return a;
}

Atoms TwoAtoms(uint32_t e1, glm::dvec3 p1, uint32_t e2, glm::dvec3 p2)
{
    Atoms a;
    a.Add(e1, p1);
    a.Add(e2, p2);
    return a;
}

// A float s whose square, rounded to single precision, is exactly `target`; 0 if there is none.
float SqrtExact(float target)
{
    float s = std::nextafter(std::nextafter(std::sqrt(target), 0.0f), 0.0f);
    for (int k = 0; k < 5; ++k, s = std::nextafter(s, 10.0f))
        if (s * s == target)
            return s;
    return 0.0f;
}

float ModelLimit(uint32_t e1, uint32_t e2)
{
    const float r = atom_rgbs[e1].w + atom_rgbs[e2].w;
    return static_cast<float>(static_cast<double>(r * r) * 1.2);
}

} // namespace

TEST(BondTest, CarbonPairAtAndBeyondBondLength)
{
    CModel m;
    LoadAtoms(m, TwoAtoms(C_INDEX, {0, 0, 0}, C_INDEX, {1.54, 0, 0}));
    EXPECT_EQ(m.i_number_of_bonds, 1u);
    LoadAtoms(m, TwoAtoms(C_INDEX, {0, 0, 0}, C_INDEX, {1.87, 0, 0}));
    EXPECT_EQ(m.i_number_of_bonds, 0u);
    EXPECT_TRUE(m.is_bond_eval);
}

TEST(BondTest, CloseAtomsAreNeverBonded)
{
    CModel m;
    for (uint32_t e : {H_INDEX, C_INDEX, AT_INDEX}) {
        LoadAtoms(m, TwoAtoms(e, {0, 0, 0}, e, {0.3, 0.05, 0}));
        EXPECT_EQ(m.i_number_of_bonds, 0u) << symbol[e];
        LoadAtoms(m, TwoAtoms(e, {1, 1, 1}, e, {1, 1, 1}));
        EXPECT_EQ(m.i_number_of_bonds, 0u) << symbol[e];
    }
    LoadAtoms(m, TwoAtoms(H_INDEX, {0, 0, 0}, H_INDEX, {0.33, 0, 0}));
    EXPECT_EQ(m.i_number_of_bonds, 1u);
}

TEST(BondTest, RecordsCarryMidpointLengthAndAngles)
{
    struct Case {
        glm::dvec3 d;
        float phi, theta;
    };
    const float pi = static_cast<float>(M_PI);
    for (const Case &c : {Case{{0, 0, 1.5}, 0.0f, 0.0f}, Case{{0, 0, -1.5}, 0.0f, pi},
                          Case{{1.5, 0, 0}, 0.0f, pi / 2}, Case{{0, -1.5, 0}, -pi / 2, pi / 2},
                          Case{{-1.5, 0, 0}, pi, pi / 2}}) {
        CModel m;
        LoadAtoms(m, TwoAtoms(C_INDEX, {2, 3, 4}, C_INDEX, glm::dvec3(2, 3, 4) + c.d));
        ASSERT_EQ(m.i_number_of_bonds, 1u);
        EXPECT_EQ(m.m_bond_indices[0], glm::uvec2(0, 1));
        m.EvalBondRecords();
        EXPECT_FLOAT_EQ(m.m_bond_ang[0].x, c.phi);
        EXPECT_FLOAT_EQ(m.m_bond_ang[0].y, c.theta);
        EXPECT_FLOAT_EQ(m.v_bond_length[0], 1.5f);
        // Midpoints are centred together with the atoms.
        const glm::vec3 mid = (m.v_float_raw_xyz[0] + m.v_float_raw_xyz[1]) * 0.5f;
        EXPECT_NEAR(glm::length(m.m_bond_xyz[0] - mid), 0.0f, 1e-6f);
        EXPECT_NEAR(glm::length(m.m_bond_xyz[0]), 0.0f, 1e-6f);
    }
}

// The limit is (ri + rj)^2 x 1.2 taken in double and rounded once to single precision.
TEST(BondTest, LimitIsRoundedFromDoubleToSingle)
{
    int checked = 0;
    for (uint32_t e1 = 0; e1 < DUMMY_ELEMENT && checked < 10; ++e1) {
        for (uint32_t e2 = e1; e2 < DUMMY_ELEMENT && checked < 10; ++e2) {
            const float r = atom_rgbs[e1].w + atom_rgbs[e2].w;
            const float single = (r * r) * 1.2f;
            const float rounded = ModelLimit(e1, e2);
            if (single == rounded)
                continue;
            const float s = SqrtExact(std::max(single, rounded));
            if (s == 0.0f)
                continue;
            CModel m;
            LoadAtoms(m, TwoAtoms(e1, {0, 0, 0}, e2, {s, 0, 0}));
            EXPECT_EQ(m.i_number_of_bonds, rounded > single ? 1u : 0u) << symbol[e1] << "-" << symbol[e2];
            ++checked;
        }
    }
    EXPECT_EQ(checked, 10);
}

// A pair exactly at the limit is bonded by the pair search (fewer than nine cells) and not by the
// cell search.
TEST(BondTest, PairExactlyAtLimitDependsOnTheSearch)
{
    uint32_t e = 0;
    float s = 0.0f;
    for (; e < DUMMY_ELEMENT && s == 0.0f; ++e)
        s = SqrtExact(ModelLimit(e, e));
    --e;
    ASSERT_GT(s, 0.0f);
    bool seen_pairs = false, seen_cells = false;
    for (double far = 1.5 * s; far < 30.0 * s; far += 0.25 * s) {
        Atoms a = TwoAtoms(e, {0, 0, 0}, e, {s, 0, 0});
        a.Add(e, {far + s, 0, 0});
        CModel m;
        LoadAtoms(m, a);
        const bool cells = UsesCellSearch(m);
        EXPECT_EQ(m.i_number_of_bonds, cells ? 0u : 1u) << m.u_cell_number << " cells";
        EXPECT_EQ(cells, m.u_cell_number >= 9);
        (cells ? seen_cells : seen_pairs) = true;
    }
    EXPECT_TRUE(seen_pairs);
    EXPECT_TRUE(seen_cells);
}

TEST(BondTest, DummyAtomsHaveNoBonds)
{
    for (size_t copies : {1u, 60u}) {
        Atoms a;
        for (size_t k = 0; k < copies; ++k) {
            const glm::dvec3 o(10.0 * k, 0, 0);
            a.Add(DUMMY_ELEMENT, o);
            a.Add(C_INDEX, o + glm::dvec3(0.6, 0, 0));
            a.Add(DUMMY_ELEMENT, o + glm::dvec3(0.6, 0.6, 0));
            a.Add(C_INDEX, o + glm::dvec3(0, 0.6, 0));
        }
        CModel m;
        LoadAtoms(m, a);
        EXPECT_EQ(UsesCellSearch(m), copies > 1);
        EXPECT_EQ(m.i_number_of_bonds, copies);
        for (const Pair &p : BondList(m)) {
            EXPECT_NE(m.v_atom_index[p.first], DUMMY_ELEMENT);
            EXPECT_NE(m.v_atom_index[p.second], DUMMY_ELEMENT);
        }
    }
}

TEST(BondTest, FewAtoms)
{
    CModel m;
    LoadAtoms(m, Atoms{});
    EXPECT_EQ(m.i_number_of_bonds, 0u);
    EXPECT_EQ(m.u_cell_number, 0u);
    EXPECT_TRUE(m.is_bond_eval);
    EXPECT_FALSE(m.is_linked_list);

    CModel one;
    Atoms a;
    a.Add(C_INDEX, {1, 2, 3});
    LoadAtoms(one, a);
    EXPECT_EQ(one.i_number_of_bonds, 0u);
    EXPECT_TRUE(one.is_bond_eval);
    EXPECT_FLOAT_EQ(one.max_radius, 0.85f);
    EXPECT_FLOAT_EQ(one.r_cut_radius, 1.7f);
    EXPECT_FLOAT_EQ(one.r_cut_radius_2, 1.7f * 1.7f);
}

// 125 large atoms packed 0.6 apart are all bonded to each other: 62 bonds per atom, far beyond the
// 15 per atom the store starts with.
TEST(BondTest, StoreGrowsForCrowdedStructures)
{
    for (bool with_far_copy : {false, true}) {
        Atoms a;
        for (int copy = 0; copy < (with_far_copy ? 2 : 1); ++copy)
            for (int x = 0; x < 5; ++x)
                for (int y = 0; y < 5; ++y)
                    for (int z = 0; z < 5; ++z)
                        a.Add(AT_INDEX, glm::dvec3(x, y, z) * 0.6 + glm::dvec3(100.0 * copy, 0, 0));
        CModel m;
        LoadAtoms(m, a);
        EXPECT_EQ(UsesCellSearch(m), with_far_copy);
        EXPECT_EQ(m.i_number_of_bonds, (with_far_copy ? 2u : 1u) * 125u * 124u / 2u);
        ExpectBondsMatch(m, BruteForceBonds(a));
        ExpectRecordsDescribeAtoms(m);
    }
}

// Cells are as wide as the longest bond, so the cell search finds what a brute-force search finds.
TEST(BondTest, CellSearchFindsEveryBond)
{
    struct Case {
        const char *name;
        Atoms atoms;
    };
    std::vector<Case> cases;
    cases.push_back({"silicon crystal", DiamondSilicon(1728)});
    cases.push_back({"water", WaterBox(3000, 7)});
    cases.push_back({"random silicon", RandomAtoms(3000, 36.0, {0, 0, 0}, {SI_INDEX}, 1)});
    cases.push_back({"random large atoms", RandomAtoms(1500, 60.0, {-1000, -50, -3}, {AT_INDEX}, 2)});
    cases.push_back({"random mixture", RandomAtoms(3000, 30.0, {-20, -20, -20},
                                                   {H_INDEX, C_INDEX, O_INDEX, SI_INDEX, DUMMY_ELEMENT, AT_INDEX}, 3)});
    Atoms sheet;
    std::mt19937 rng(4);
    std::uniform_real_distribution<double> jitter(-0.3, 0.3);
    for (int x = 0; x < 40; ++x)
        for (int y = 0; y < 40; ++y)
            sheet.Add(SI_INDEX, {-30.0 + 2.45 * x + jitter(rng), 5.0 + 2.45 * y + jitter(rng), -7.5});
    cases.push_back({"flat sheet", sheet});
    Atoms line;
    for (int x = 0; x < 400; ++x)
        line.Add(C_INDEX, {1.6 * x + jitter(rng), 0, 0});
    cases.push_back({"line", line});

    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CModel m;
        LoadAtoms(m, c.atoms);
        EXPECT_TRUE(UsesCellSearch(m));
        const Reference ref = BruteForceBonds(c.atoms);
        ExpectBondsMatch(m, ref);
        ExpectRecordsDescribeAtoms(m);
    }
}

TEST(BondTest, SiliconCrystalHasFourBondsPerInnerAtom)
{
    CModel m;
    const Atoms a = DiamondSilicon(8 * 27);
    LoadAtoms(m, a);
    ASSERT_TRUE(UsesCellSearch(m));
    // The 2.35 angstrom bond is longer than twice the silicon radius.
    EXPECT_GT(2.35f, m.r_cut_radius);
    std::vector<int> count(a.size(), 0);
    for (const Pair &p : BondList(m)) {
        ++count[p.first];
        ++count[p.second];
    }
    EXPECT_EQ(count[13 * 8 + 4], 4); // an atom of the middle cell
    EXPECT_EQ(m.i_number_of_bonds, BruteForceBonds(a).bonds.size());
}

// Pairs of the largest atoms of a structure, longer than twice their radius and almost along an
// axis, often lie two cells apart when cells are only r_cut_radius wide.
TEST(BondTest, LongBondsAcrossCellsAreFound)
{
    const float reach = std::sqrt(ModelLimit(SI_INDEX, SI_INDEX));
    std::mt19937 rng(10);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (uint32_t partner : {SI_INDEX, C_INDEX}) {
        Atoms a;
        for (int k = 0; k < 600; ++k) {
            const glm::dvec3 p = glm::dvec3(u(rng), u(rng), u(rng)) * 32.0 - 16.0;
            glm::dvec3 dir = glm::dvec3(u(rng), u(rng), u(rng)) * 0.3 - 0.15;
            dir[k % 3] = k % 2 ? 1.0 : -1.0;
            const double length = 2.34 + (reach - 2.34) * u(rng);
            a.Add(SI_INDEX, p);
            a.Add(k % 4 ? SI_INDEX : partner, p + glm::normalize(dir) * length);
        }
        const Reference ref = BruteForceBonds(a);
        EXPECT_GT(ref.longer_than_cut, 300u);
        CModel m;
        LoadAtoms(m, a);
        ASSERT_TRUE(UsesCellSearch(m));
        ExpectBondsMatch(m, ref);
    }
}

// Atoms exactly on the faces between cells, bonded across them at up to the bond limit.
TEST(BondTest, AtomsOnCellFaces)
{
    // Enough atoms that the grid is not widened to keep its size down.
    const glm::dvec3 lo(-12.5, -3.0, 0.0), hi(8.0, 9.0, 6.0);
    Atoms frame = TwoAtoms(SI_INDEX, lo, SI_INDEX, hi);
    for (int k = 0; k < 100; ++k)
        frame.Add(DUMMY_ELEMENT, lo + glm::dvec3(0.1 * k, 0, 0));
    CModel probe;
    LoadAtoms(probe, frame);
    ASSERT_TRUE(UsesCellSearch(probe));
    const glm::vec3 width = probe.v_box_size / glm::vec3(probe.v_cell_side);
    EXPECT_GE(width.x, probe.r_cut_radius);
    const float reach = std::sqrt(ModelLimit(SI_INDEX, SI_INDEX));

    auto inside = [&](const glm::dvec3 &p) { return glm::all(glm::greaterThanEqual(p, lo)) && glm::all(glm::lessThanEqual(p, hi)); };
    Atoms a = frame;
    size_t pairs = 0;
    for (int axis = 0; axis < 3; ++axis) {
        for (int k = 1; k < probe.v_cell_side[axis]; ++k) {
            for (const glm::dvec3 &dir : {glm::dvec3(1, 0, 0), glm::dvec3(0, -1, 0), glm::dvec3(0, 0.6, 0.8),
                                          glm::dvec3(-0.6, 0, -0.8)}) {
                glm::dvec3 o = lo + glm::dvec3(2.0 + 0.7 * (a.size() % 20), 1.5 + 0.9 * (a.size() % 7), 1.2);
                o[axis] = probe.min_xyz[axis] + k * width[axis];
                const glm::dvec3 partner = o + dir * (reach * 0.99999);
                if (!inside(o) || !inside(partner))
                    continue;
                a.Add(SI_INDEX, o);
                a.Add(SI_INDEX, partner);
                ++pairs;
            }
        }
    }
    EXPECT_GE(pairs, 20u);
    CModel m;
    LoadAtoms(m, a);
    ASSERT_EQ(m.v_cell_side, probe.v_cell_side);
    const Reference ref = BruteForceBonds(a);
    EXPECT_GE(ref.bonds.size(), pairs);
    ExpectBondsMatch(m, ref);
}

// Far-flung atoms widen the cells instead of multiplying them.
TEST(BondTest, GridStaysBoundedForFarApartAtoms)
{
    struct Case {
        const char *name;
        Atoms atoms;
    };
    std::vector<Case> cases;
    Atoms pair_far = TwoAtoms(C_INDEX, {0, 0, 0}, C_INDEX, {1.4, 0, 0});
    pair_far.Add(SI_INDEX, {1e6, 1e6, -1e6});
    pair_far.Add(C_INDEX, {1e6 + 1.4, 1e6, -1e6});
    cases.push_back({"two pairs 1e6 apart", pair_far});
    Atoms huge = TwoAtoms(C_INDEX, {0, 0, 0}, C_INDEX, {0, 1.4, 0});
    huge.Add(O_INDEX, {1e30, -1e30, 3e20});
    cases.push_back({"one huge coordinate", huge});
    Atoms sparse_line;
    for (int k = 0; k < 1000; ++k)
        sparse_line.Add(C_INDEX, {1000.0 * k, 0, 0});
    sparse_line.Add(C_INDEX, {1.3, 0, 0});
    cases.push_back({"sparse line", sparse_line});
    Atoms cloud = RandomAtoms(300, 1e7, {-5e6, -5e6, -5e6}, {C_INDEX}, 5);
    cloud.Add(C_INDEX, cloud.xyz[17] + glm::dvec3(0.8, 0.8, 0.8));
    cases.push_back({"sparse cloud", cloud});

    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CModel m;
        LoadAtoms(m, c.atoms);
        const double cap = std::max(27.0, 4.0 * c.atoms.size());
        EXPECT_LE(m.u_cell_number, cap);
        EXPECT_EQ(m.u_cell_number, static_cast<uint32_t>(m.v_cell_side.x * m.v_cell_side.y * m.v_cell_side.z));
        EXPECT_EQ(m.v_cell_head.size(), m.u_cell_number);
        for (int axis = 0; axis < 3; ++axis) {
            EXPECT_GE(m.v_cell_side[axis], 1);
            EXPECT_GE(m.v_box_size[axis] / m.v_cell_side[axis], m.r_cut_radius);
        }
        ExpectBondsMatch(m, BruteForceBonds(c.atoms));
        EXPECT_GE(m.i_number_of_bonds, 1u);
    }
}

TEST(BondTest, NonFiniteCoordinatesDoNotBreakTheSearch)
{
    const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
    for (const glm::dvec3 bad : {glm::dvec3(nan, 0, 0), glm::dvec3(inf, 1, 1), glm::dvec3(3e38, -3e38, 3e38)}) {
        for (bool bad_first : {false, true}) {
            Atoms a;
            if (bad_first)
                a.Add(C_INDEX, bad);
            for (int k = 0; k < 30; ++k)
                a.Add(C_INDEX, {1.4 * k, 0, 0});
            if (!bad_first)
                a.Add(C_INDEX, bad);
            CModel m;
            LoadAtoms(m, a);
            EXPECT_EQ(m.i_number_of_bonds, 29u);
            EXPECT_LE(m.u_cell_number, 4u * a.size());
        }
    }
}

TEST(LinkedCellTest, ChainsHoldEveryAtomOnceInDescendingOrder)
{
    CModel m;
    const Atoms a = WaterBox(900, 3);
    LoadAtoms(m, a);
    ASSERT_TRUE(m.is_linked_list);
    EXPECT_EQ(m.v_cell_head.size(), m.u_cell_number);
    EXPECT_EQ(m.v_cell_list.size(), a.size());
    std::vector<int> seen(a.size(), 0);
    for (int head : m.v_cell_head) {
        int previous = std::numeric_limits<int>::max();
        for (int j = head; j != -1; j = m.v_cell_list[j]) {
            ASSERT_GE(j, 0);
            ASSERT_LT(j, previous);
            ++seen[j];
            previous = j;
        }
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), static_cast<long>(a.size()));

    ASSERT_EQ(m.i_neighbor_cells, 27);
    ASSERT_EQ(m.neighbor_cells_xyz.size(), 27u);
    for (int k = 0; k < 27; ++k)
        EXPECT_EQ(m.neighbor_cells_xyz[k], neighbor_cells[k]);
    EXPECT_EQ(m.is_linked_cell, m.v_cell_side.y > 2);
}

TEST(LinkedCellTest, SingleCellMeansNoLists)
{
    CModel m;
    LoadAtoms(m, TwoAtoms(C_INDEX, {0, 0, 0}, O_INDEX, {0.5, 0.5, 0.5}));
    EXPECT_EQ(m.u_cell_number, 1u);
    EXPECT_FALSE(m.is_linked_list);
    EXPECT_EQ(m.i_number_of_bonds, 1u);
}

// Pair search: by i, then ascending j. Cell search: by i, then by the neighbour offset that first
// reaches j's cell, then descending j.
TEST(BondTest, RecordOrder)
{
    CModel small;
    Atoms ring;
    for (int k = 0; k < 6; ++k)
        ring.Add(C_INDEX, {1.4 * std::cos(k * M_PI / 3), 1.4 * std::sin(k * M_PI / 3), 0});
    LoadAtoms(small, ring);
    ASSERT_FALSE(UsesCellSearch(small));
    const std::vector<Pair> expected = {{0, 1}, {0, 5}, {1, 2}, {2, 3}, {3, 4}, {4, 5}};
    EXPECT_EQ(BondList(small), expected);

    for (const Atoms &a : {WaterBox(2000, 9), RandomAtoms(2000, 30.0, {0, 0, 0}, {SI_INDEX, C_INDEX}, 6)}) {
        CModel m;
        LoadAtoms(m, a);
        ASSERT_TRUE(UsesCellSearch(m));
        std::vector<int> cell_of(a.size(), -1);
        for (int c = 0; c < static_cast<int>(m.u_cell_number); ++c)
            for (int j = m.v_cell_head[c]; j != -1; j = m.v_cell_list[j])
                cell_of[j] = c;
        const glm::ivec3 side = m.v_cell_side;
        auto coords = [&](int c) { return glm::ivec3(c % side.x, (c / side.x) % side.y, c / (side.x * side.y)); };
        auto wrap = [](int v, int n) { return v >= n ? 0 : (v < 0 ? n - 1 : v); };
        auto offset_rank = [&](uint32_t i, uint32_t j) {
            const glm::ivec3 ci = coords(cell_of[i]);
            for (int o = 0; o < 27; ++o) {
                const glm::ivec3 d = neighbor_cells[o];
                const glm::ivec3 c(wrap(ci.x + d.x, side.x), wrap(ci.y + d.y, side.y), wrap(ci.z + d.z, side.z));
                if (c == coords(cell_of[j]))
                    return o;
            }
            return 99;
        };
        const std::vector<Pair> list = BondList(m);
        ASSERT_FALSE(list.empty());
        for (size_t k = 1; k < list.size(); ++k) {
            const Pair &p = list[k - 1], &q = list[k];
            ASSERT_LE(p.first, q.first);
            if (p.first != q.first)
                continue;
            const int rp = offset_rank(p.first, p.second), rq = offset_rank(q.first, q.second);
            ASSERT_LT(rp, 27);
            ASSERT_TRUE(rp < rq || (rp == rq && p.second > q.second)) << k;
        }
    }
}

// The search split over threads gives the serial search's records in the serial order, by cells and
// pair by pair, also with more threads than atoms.
TEST(BondTest, ThreadedSearchGivesTheSerialRecords)
{
    struct Case {
        const char *name;
        Atoms atoms;
    };
    const Case cases[] = {
        {"water", WaterBox(3000, 5)},
        {"random mixture", RandomAtoms(2000, 25.0, {-10, 3, -40},
                                       {H_INDEX, C_INDEX, O_INDEX, SI_INDEX, DUMMY_ELEMENT, AT_INDEX}, 6)},
        {"crowded box, pair search", RandomAtoms(300, 4.0, {1, 1, 1}, {C_INDEX, H_INDEX}, 7)},
        {"three atoms", RandomAtoms(3, 2.0, {0, 0, 0}, {C_INDEX}, 8)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CModel serial;
        serial.u_search_threads = 1;
        LoadAtoms(serial, c.atoms);
        ExpectBondsMatch(serial, BruteForceBonds(c.atoms));
        for (unsigned threads : {2u, 3u, 7u}) {
            SCOPED_TRACE(threads);
            CModel split;
            split.u_search_threads = threads;
            LoadAtoms(split, c.atoms);
            EXPECT_EQ(split.i_number_of_bonds, serial.i_number_of_bonds);
            EXPECT_EQ(split.m_bond_indices, serial.m_bond_indices);
            split.EvalBondRecords();
            EXPECT_EQ(split.m_bond_xyz, serial.m_bond_xyz);
            EXPECT_EQ(split.m_bond_ang, serial.m_bond_ang);
            EXPECT_EQ(split.v_bond_length, serial.v_bond_length);
        }
    }
}
