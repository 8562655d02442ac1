#include <gtest/gtest.h>

#include <cstring>

#include "elements.h"

// Two-letter symbols are tried first; otherwise the first letter decides, and only two
// characters ever count.
TEST(SymbolLookup, TwoLetterSymbolsWinOverTheFirstLetter)
{
    const struct {
        const char *text;
        uint32_t index;
    } cases[] = {{"CA", 19},  {"ca", 19}, {"cA", 19},  {"He", 1},   {"Xe", 53},
                 {"FE", 25},  {"C", 5},   {"C1", 5},   {"X", 109},  {"Xq", 109},
                 {"Og", 7},   {"Ca2+", 19}};
    for (const auto &c : cases)
        EXPECT_EQ(ElementIndexOfSymbol(c.text), c.index) << c.text;
}

TEST(SymbolLookup, ReportsTextsThatNameNoElement)
{
    EXPECT_EQ(ElementIndexOfSymbol(""), NO_ELEMENT);
    EXPECT_EQ(ElementIndexOfSymbol("Ds"), NO_ELEMENT);
    EXPECT_EQ(ElementIndexOfSymbol("1"), NO_ELEMENT);
    EXPECT_GE(NO_ELEMENT, periodic_table_atoms);
}

TEST(ElementTables, EverySymbolFindsItsOwnIndex)
{
    for (uint32_t i = 0; i < periodic_table_atoms; ++i)
        EXPECT_EQ(ElementIndexOfSymbol(symbol[i]), i) << symbol[i];
    for (uint32_t k = 0; k < periodic_table_atoms; ++k)
        EXPECT_STREQ(symbol_sorted[k], symbol[atom_index[k]]);
    for (uint32_t k = 0; k < periodic_table_atoms; ++k)
        EXPECT_EQ(std::strlen(symbol_sorted[k]), k < 95 ? 2u : 1u) << k;
}

TEST(ElementTables, IrregularValuesAreKept)
{
    EXPECT_FLOAT_EQ(atom_rgbs[84].w, 5.43f);   // At
    EXPECT_FLOAT_EQ(atom_rgbs[92].w, 0.95f);   // Np
    EXPECT_EQ(atom_rgbs[28], glm::vec4(0.95f, 0.79f, 0.02f, 1.17f));  // Cu
    EXPECT_EQ(atom_rgbs[109], glm::vec4(1.0f, 0.2f, 0.1f, 0.4f));     // dummy
    EXPECT_EQ(glm::vec3(atom_rgbs[13]), glm::vec3(steelblue[0], steelblue[1], steelblue[2]));
    EXPECT_EQ(glm::vec3(atom_rgbs[63]), glm::vec3(gold[0], gold[1], gold[2]));
    EXPECT_STREQ(name[12], "Aluminium");
    EXPECT_STREQ(name[109], "dummy");
}

TEST(ElementTables, ChooserGridTilesWithoutGaps)
{
    EXPECT_EQ(ptable_position[56], glm::vec2(67, 130));   // La stays in the main grid
    EXPECT_EQ(ptable_position[88], glm::vec2(67, 150));   // Ac too
    EXPECT_EQ(ptable_position[57], glm::vec2(127, 190));  // Ce opens the lanthanide row
    EXPECT_EQ(ptable_position[89], glm::vec2(127, 210));  // Th opens the actinide row
    EXPECT_EQ(ptable_position[109], glm::vec2(7, 210));
    for (uint32_t i = 0; i < periodic_table_atoms; ++i) {
        EXPECT_EQ((int(ptable_position[i].x) - 7) % 30, 0) << i;
        EXPECT_EQ((int(ptable_position[i].y) - 30) % 20, 0) << i;
        for (uint32_t j = i + 1; j < periodic_table_atoms; ++j)
            EXPECT_NE(ptable_position[i], ptable_position[j]) << i << " " << j;
    }
}
