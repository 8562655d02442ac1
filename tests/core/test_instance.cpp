#include <gtest/gtest.h>

#include "cinstance.h"
#include "elements.h"
#include "structure_builder.h"

TEST(AtomInstances, CarryCentreRadiusColourAndTheCodeThatPicksTheAtomBack)
{
    Atoms atoms;
    for (int k = 0; k < 300; k++)
        atoms.Add(k % 2 == 0 ? O_INDEX : H_INDEX, glm::dvec3(k, -k, 0.5 * k));
    atoms.Add(250, glm::dvec3(1.0)); // past the element table
    CModel m;
    FillModel(m, atoms);
    CPalette pick;
    pick._lvls = static_cast<uint32_t>(atoms.size());
    pick.update_palette_index();
    std::vector<glm::vec4> centres;
    std::vector<CAtomColours> colours;
    BuildAtomInstances(m.v_float_raw_xyz, m.v_atom_index, pick, centres, colours);
    ASSERT_EQ(centres.size(), atoms.size());
    ASSERT_EQ(colours.size(), atoms.size());
    for (const uint32_t i : {0u, 1u, 255u, 256u, 299u, 300u}) {
        SCOPED_TRACE(i);
        const glm::vec4 &element = atom_rgbs[ElementOrDummy(m.v_atom_index[i])];
        EXPECT_EQ(centres[i], glm::vec4(m.v_float_raw_xyz[i], element.w));
        const std::array<uint8_t, 4> colour = ColourBytes(glm::vec3(element));
        EXPECT_TRUE(std::equal(colour.begin(), colour.end(), colours[i].colour));
        const uint8_t *code = colours[i].pick;
        EXPECT_EQ(pick.get_index_rgb(code[0], code[1], code[2]), i);
    }
}

namespace {

// A carbon bonded to four hydrogens in four directions, and the tubes of its bonds.
void LoadBondedCarbon(CModel &m, std::vector<CBondInstance> &bonds)
{
    Atoms atoms;
    atoms.Add(C_INDEX, {0, 0, 0});
    for (const glm::dvec3 &d : {glm::dvec3(1, 0, 0), glm::dvec3(0, 0, -1), glm::dvec3(-1, 1, 1), glm::dvec3(1, -1, -0.5)})
        atoms.Add(H_INDEX, glm::normalize(d) * 1.1);
    LoadAtoms(m, atoms);
    ASSERT_GE(m.i_number_of_bonds, 4u);
    m.EvalBondRecords();
    BuildBondInstances(m.m_bond_xyz, m.m_bond_ang, m.v_bond_length, m.i_number_of_bonds, bonds);
    ASSERT_EQ(bonds.size(), m.i_number_of_bonds);
}

} // namespace

TEST(BondInstances, ReachFromOneBondedAtomCentreToTheOther)
{
    CModel m;
    std::vector<CBondInstance> bonds;
    ASSERT_NO_FATAL_FAILURE(LoadBondedCarbon(m, bonds));
    for (uint32_t k = 0; k < m.i_number_of_bonds; k++) {
        SCOPED_TRACE(k);
        const glm::vec3 a = m.v_float_raw_xyz[m.m_bond_indices[k].x];
        const glm::vec3 b = m.v_float_raw_xyz[m.m_bond_indices[k].y];
        const glm::vec3 end1 = glm::vec3(bonds[k].centre + bonds[k].half);
        const glm::vec3 end2 = glm::vec3(bonds[k].centre - bonds[k].half);
        const float forward = glm::length(end1 - b) + glm::length(end2 - a);
        const float backward = glm::length(end1 - a) + glm::length(end2 - b);
        EXPECT_LT(std::min(forward, backward), 1e-4f);
    }
    BuildBondInstances(m.m_bond_xyz, m.m_bond_ang, m.v_bond_length, 2, bonds);
    EXPECT_EQ(bonds.size(), 2u) << "only the bonds counted";
}

// The bond program trims each tube by the atom at each of its ends: swapped or borrowed radii would
// cut visible tube away.
TEST(BondInstances, CarryTheRadiusOfTheAtomAtEachEndAndNoneAtACellFace)
{
    CModel m;
    std::vector<CBondInstance> bonds;
    ASSERT_NO_FATAL_FAILURE(LoadBondedCarbon(m, bonds));
    std::vector<glm::uvec2> ends(m.m_bond_indices.begin(), m.m_bond_indices.begin() + m.i_number_of_bonds);
    // Halves of a bond across a cell face, from atom 1 and from atom 2, paired as the display pairs them.
    AppendSegmentInstances({m.v_float_raw_xyz[1], m.v_float_raw_xyz[2]}, {glm::vec3(5, 0, 0), glm::vec3(0, -5, 0)},
                           bonds);
    ends.insert(ends.end(), 2, glm::uvec2(1, 2));
    CPalette pick;
    std::vector<glm::vec4> centres;
    std::vector<CAtomColours> colours;
    BuildAtomInstances(m.v_float_raw_xyz, m.v_atom_index, pick, centres, colours);
    SetBondEndRadii(centres, ends, bonds);
    auto radius_at = [&](const glm::vec3 &end) {
        for (const glm::vec4 &c : centres)
            if (glm::length(glm::vec3(c) - end) < 1e-4f)
                return c.w;
        return 0.0f;
    };
    for (size_t k = 0; k < bonds.size(); k++) {
        SCOPED_TRACE(k);
        const glm::vec3 mid(bonds[k].centre), half(bonds[k].half);
        EXPECT_EQ(bonds[k].centre.w, radius_at(mid - half));
        EXPECT_EQ(bonds[k].half.w, radius_at(mid + half));
        EXPECT_GT(bonds[k].centre.w + bonds[k].half.w, 0.0f);
    }
    EXPECT_EQ(bonds[bonds.size() - 2].half.w, 0.0f) << "the cell face ends no atom";
    EXPECT_NE(atom_rgbs[C_INDEX].w, atom_rgbs[H_INDEX].w);
}

TEST(Labels, TextIsTheSymbolTheIndexOrBoth)
{
    EXPECT_EQ(LabelText(0, O_INDEX, false, false), "0");
    EXPECT_EQ(LabelText(12, O_INDEX, false, true), "12");
    EXPECT_EQ(LabelText(12, O_INDEX, true, true), "O12");
    EXPECT_EQ(LabelText(12, SI_INDEX, true, false), "Si");
}

TEST(Labels, GlyphsAdvanceThePenAndMissingGlyphsAreSkipped)
{
    CGlyphAdvances advances;
    advances.fill(-1);
    advances['O'] = 30;
    advances['1'] = 20;
    advances['2'] = 21;
    const std::vector<glm::vec3> xyz = {{0, 0, 0}, {1, 2, 3}};
    const std::vector<uint32_t> elements = {O_INDEX, SI_INDEX};
    std::vector<CGlyphInstance> glyphs;
    BuildGlyphInstances(xyz, elements, true, true, advances, glyphs);
    // "O0": only O has a glyph; "Si1": S and i have none, so 1 starts the label.
    ASSERT_EQ(glyphs.size(), 2u);
    EXPECT_EQ(glyphs[0].anchor, glm::vec4(0, 0, 0, atom_rgbs[O_INDEX].w));
    EXPECT_EQ(glyphs[0].glyph, glm::vec4(0.0f, 'O', 0.0f, 0.0f));
    EXPECT_EQ(glyphs[1].anchor, glm::vec4(1, 2, 3, atom_rgbs[SI_INDEX].w));
    EXPECT_EQ(glyphs[1].glyph, glm::vec4(0.0f, '1', 0.0f, 0.0f));

    const std::vector<glm::vec3> many(13, glm::vec3(0.0f));
    const std::vector<uint32_t> oxygens(13, O_INDEX);
    BuildGlyphInstances(many, oxygens, false, false, advances, glyphs);
    // Indices alone, with glyphs for 1 and 2 only: "1", "2", "10", "11" and "12" show; in "12"
    // the 2 starts where the 1 advanced to.
    ASSERT_EQ(glyphs.size(), 7u);
    EXPECT_EQ(glyphs[5].glyph, glm::vec4(0.0f, '1', 0.0f, 0.0f));
    EXPECT_EQ(glyphs[6].glyph, glm::vec4(20.0f, '2', 0.0f, 0.0f));
}
