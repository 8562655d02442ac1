// CIF crystals: the file's symmetry expanded, disorder kept apart, the P1 writer. Files made by
// pymatgen and ASE, read by ASE as the oracle, are in tests/oracles/cif_ase_compare.py.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "ccif.h"
#include "ccifreader.h"
#include "closeatoms.h"
#include "cmodel.h"
#include "elements.h"
#include "structure_read.h"

namespace {

const std::string DATA = KIVOA_TEST_DATA;

// A block that gives only its space-group name and one atom in general position, which every
// operation of the group moves to a place of its own.
std::string NamedGroup(const std::string &name, double gamma)
{
    return "data_named\n_cell_length_a 5\n_cell_length_b 5\n_cell_length_c 7\n_cell_angle_alpha 90\n"
           "_cell_angle_beta 90\n_cell_angle_gamma " + std::to_string(gamma) +
           "\n_symmetry_space_group_name_H-M '" + name +
           "'\nloop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n"
           "Fe1 0.1234 0.2345 0.3456\n";
}

// A block of a cubic cell of side `a` (none when 0) with its space-group name, `extra` items and
// a site loop.
std::string Cubic(double a, const std::string &group, const std::string &columns, const std::string &rows,
                  const std::string &extra = "")
{
    std::string text = "data_block\n" + extra;
    if (a > 0.0)
        for (const char *axis : {"a", "b", "c"})
            text += std::string("_cell_length_") + axis + " " + std::to_string(a) + "\n";
    if (!group.empty())
        text += "_symmetry_space_group_name_H-M '" + group + "'\n";
    return text + "loop_\n_atom_site_label\n_atom_site_type_symbol\n" + columns + rows;
}

const std::string FRACT = "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n";
const std::string CARTN = "_atom_site_Cartn_x\n_atom_site_Cartn_y\n_atom_site_Cartn_z\n";
const std::string OCCUPANCY = "_atom_site_occupancy\n";

} // namespace

// Atoms of one element within 0.05 angstrom are one, from whatever sites; atoms farther apart,
// or of different elements, stay. Hand-worked counts; ASE agrees on the CoSO4 file (gemmi reads
// 128 atoms there) and gemmi on graphite (ASE and pymatgen read 8).
TEST(Cif, AtomsAtOnePlaceAreOneAtomPerElement)
{
    const std::string nacl = "Na1 Na 0 0 0\nCl1 Cl 2.82 2.82 2.82\n";
    // Cartesian = 5.64 x fractional + (1, 2, 3): read by the cell alone, Cl would be on 32f.
    const std::string tran = "_atom_sites_Cartn_tran_matrix_11 5.64\n_atom_sites_Cartn_tran_matrix_12 0\n"
                             "_atom_sites_Cartn_tran_matrix_13 0\n_atom_sites_Cartn_tran_matrix_21 0\n"
                             "_atom_sites_Cartn_tran_matrix_22 5.64\n_atom_sites_Cartn_tran_matrix_23 0\n"
                             "_atom_sites_Cartn_tran_matrix_31 0\n_atom_sites_Cartn_tran_matrix_32 0\n"
                             "_atom_sites_Cartn_tran_matrix_33 5.64\n_atom_sites_Cartn_tran_vector_1 1\n"
                             "_atom_sites_Cartn_tran_vector_2 2\n_atom_sites_Cartn_tran_vector_3 3\n";
    const struct {
        const char *what;
        std::string text;
        const char *formula;
        uint32_t merged;
    } cases[] = {
        {"graphite to three decimals", ReadText(DATA + "/cif/graphite_three_decimals.cif"), "C4", 4},
        {"CoSO4 listing its equivalent sites", ReadText(DATA + "/cif/coso4_listed_sites.cif"), "Co4 O16 S4", 104},
        {"NaCl from Cartesian sites", Cubic(5.64, "F m -3 m", CARTN, nacl), "Cl4 Na4", 0},
        {"NaCl by the file's own transformation", Cubic(5.64, "F m -3 m", CARTN, "Na1 Na 1 2 3\nCl1 Cl 3.82 4.82 5.82\n", tran),
         "Cl4 Na4", 0},
        {"a mixed Fe/Cr site", Cubic(2.87, "I m -3 m", FRACT + OCCUPANCY, "Fe1 Fe 0 0 0 0.5\nCr1 Cr 0 0 0 0.5\n"),
         "Cr2 Fe2", 0},
        // C1A and C1B 0.3 apart stay two; N1' (0.01 away) and Fe2 (0.015 away across the cell
        // face) are N1 and Fe1.
        {"split sites and duplicates", Cubic(10, "P 1", FRACT + OCCUPANCY,
                                             "N1 N 0.5 0.5 0.5 0.7\nC1A C 0 0 0 0.6\nC1B C 0.03 0 0 0.4\n"
                                             "N1' N 0.501 0.5 0.5 0.3\nFe1 Fe 0.9995 0.2 0.2 1\nFe2 Fe 0.001 0.2 0.2 1\n"),
         "C2 Fe1 N1", 2},
        {"a molecule with an atom listed twice", Cubic(0, "", CARTN, "O1 O 0 0 0\nH1 H 0.76 0.59 0\nH2 H -0.76 0.59 0\n"
                                                                     "O2 O 0.01 0 0\n"),
         "H2 O1", 1},
    };
    ScratchFolder dir;
    for (const auto &c : cases) {
        const auto r = ReadStructureText<CCif>(dir, "merge.cif", c.text);
        ASSERT_TRUE(r.ok) << c.what << ": " << r.reader.error_message;
        EXPECT_EQ(Formula(r.index), c.formula) << c.what;
        EXPECT_EQ(r.reader.u_merged, c.merged) << c.what;
        EXPECT_EQ(r.reader.notice.find(std::to_string(c.merged) + " atom") != std::string::npos, c.merged > 0)
            << c.what << ": " << r.reader.notice;
        EXPECT_EQ(r.reader.notice.find("no symmetry"), std::string::npos) << c.what;
        // No two atoms of one element within the merge distance, with the nearest image.
        const glm::dmat3 to_fractional = glm::inverse(r.reader.cell_xyz);
        for (size_t i = 0; i < r.xyz.size(); ++i)
            for (size_t j = 0; j < i; ++j) {
                glm::dvec3 d = r.reader.is_periodic ? to_fractional * (r.xyz[i] - r.xyz[j]) : r.xyz[i] - r.xyz[j];
                if (r.reader.is_periodic)
                    d = r.reader.cell_xyz * (d - glm::round(d));
                EXPECT_TRUE(r.index[i] != r.index[j] || glm::length(d) >= CifReader::MERGE_DISTANCE)
                    << c.what << ": atoms " << j << " and " << i;
            }
    }
    const auto split = ReadStructureText<CCif>(dir, "split.cif", cases[5].text);
    EXPECT_EQ(split.reader.v_label, (std::vector<std::string>{"N1", "C1A", "C1B", "Fe1"}));
    EXPECT_EQ(split.reader.v_occupancy, (std::vector<double>{0.7, 0.6, 0.4, 1.0}));
}

// The linked-cell search against every pair of a random set in a slanted cell, atoms close to
// each other across the cell's faces included: the duplicates are the atoms within the distance
// of an earlier kept atom of their element, and only those.
TEST(Cif, DuplicateSearchAgreesWithEveryPair)
{
    std::mt19937 random(31);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const glm::dmat3 cell = CCif::CellOfParameters({3.0, 4.0, 25.0}, {70.0, 100.0, 115.0});
    const glm::dmat3 to_fractional = glm::inverse(cell);
    const double distance = 0.3;
    for (const size_t atoms : {1u, 50u, 1000u}) {
        std::vector<glm::dvec3> fract;
        std::vector<uint32_t> element;
        for (size_t i = 0; i < atoms; ++i) {
            glm::dvec3 f(unit(random), unit(random), unit(random));
            // Every third atom near an earlier one, shifted across a face when it falls outside.
            if (i % 3 == 2) {
                f = fract[random() % i] + to_fractional * glm::dvec3(unit(random) - 0.5, unit(random) - 0.5, 0.0) * 0.5;
                f -= glm::floor(f);
            }
            fract.push_back(f);
            element.push_back(static_cast<uint32_t>(random() % 2));
        }
        const std::vector<bool> duplicate = DuplicateAtoms(fract, element, cell, distance);
        for (size_t i = 0; i < atoms; ++i) {
            bool near_kept = false;
            for (size_t j = 0; j < i && !near_kept; ++j)
                for (int x = -1; x <= 1; ++x)
                    for (int y = -1; y <= 1; ++y)
                        for (int z = -1; z <= 1; ++z)
                            near_kept = near_kept || (!duplicate[j] && element[j] == element[i] &&
                                                      glm::length(cell * (fract[i] - fract[j] + glm::dvec3(x, y, z))) < distance);
            ASSERT_EQ(duplicate[i], near_kept) << atoms << " atoms, atom " << i;
        }
    }
}

TEST(Cif, SpaceGroupNamesAsFilesWriteThem)
{
    const struct {
        const char *name;
        double gamma;
        size_t atoms;
    } cases[] = {
        {"P b n m", 90, 8},     {"Pbnm", 90, 8},         {"P 21/c", 90, 4},      {"P2_1/c", 90, 4},
        {"P 1 21/n 1", 90, 4},  {"F d -3 m", 90, 192},   {"F d 3 m :2", 90, 192}, {"F d -3 m Z", 90, 192},
        {"I a 3 d", 90, 96},    {"P 42/m n m", 90, 16},  {"R -3 m", 120, 36},    {"R -3 m :R", 90, 12},
        {"P 63/m m c", 120, 24}, {"P 1", 90, 1}, // The note names the setting, whatever the cell's angles suggest.
        {"R 3 c {rhombohedral axes}", 120, 6}, {"R 3 c {hexagonal axes}", 90, 18},
    };
    ScratchFolder dir;
    for (const auto &c : cases) {
        const auto r = ReadStructureText<CCif>(dir, "named.cif", NamedGroup(c.name, c.gamma));
        ASSERT_TRUE(r.ok) << c.name << ": " << r.reader.error_message;
        EXPECT_EQ(r.xyz.size(), c.atoms) << c.name;
        EXPECT_EQ(r.reader.symmetry_source, "space-group name") << c.name;
        EXPECT_EQ(r.reader.v_label, std::vector<std::string>(c.atoms, "Fe1")) << c.name;
    }
}

TEST(Cif, ElementsFromTypeSymbolsElseLabels)
{
    const struct {
        const char *type, *label, *symbol;
    } cases[] = {
        {"O2-", "O1", "O"},  {"Fe3+", "M1", "Fe"}, {"", "Fe1", "Fe"}, {"", "OW2", "O"},
        {"", "Ca1", "Ca"},   {"CL-", "X", "Cl"},   {"", "C1A", "C"},  {"", "1Q", "X"},
        {"", "NA1", "Na"},   {"", "CL1", "Cl"},    {"", "SN1", "Sn"}, {"", "CA1", "Ca"},
        {"", "OW1", "O"},    {"", "C", "C"},
    };
    for (const auto &c : cases)
        EXPECT_STREQ(SymbolOf(CCif::ElementOfSite(c.type, c.label)), c.symbol) << c.type << " " << c.label;
}

// Disorder groups and half-occupied split positions never bond, and the occupancies follow
// deletions and their undo.
TEST(Cif, DisorderedPartsNeverBondAndOccupanciesFollowEdits)
{
    CModel m;
    ASSERT_TRUE(m.ReadStructureFile(DATA + "/cif", DATA + "/cif/disorder_groups.cif", INPUT_FILE_TYPE_CIF))
        << m.error_message;
    std::vector<std::pair<uint32_t, uint32_t>> bonds;
    for (const glm::uvec2 &b : m.m_bond_indices)
        bonds.emplace_back(b.x, b.y);
    const std::vector<std::pair<uint32_t, uint32_t>> expected{{0, 1}, {0, 2}, {0, 3}, {0, 4}};
    EXPECT_EQ(bonds, expected);
    EXPECT_EQ(m.v_atom_occupancy, (std::vector<double>{1.0, 0.6, 0.4, 0.5, 0.5}));
    m.DeleteAtomIndex(1);
    EXPECT_EQ(m.v_atom_occupancy, (std::vector<double>{1.0, 0.4, 0.5, 0.5}));
    EXPECT_EQ(m.cif.LabelOf(1), "C2B");
    EXPECT_EQ(m.cif.OccupancyOf(1), 0.4);
    ASSERT_TRUE(m.Undo());
    EXPECT_EQ(m.v_atom_occupancy, (std::vector<double>{1.0, 0.6, 0.4, 0.5, 0.5}));
    EXPECT_EQ(m.i_number_of_bonds, 4u);
}

// The writer other formats reach: atoms that were not read from a CIF, with and without a cell,
// read back as written; the CIF read itself is never replaced.
TEST(Cif, P1WriterTakesAnyAtomsAndNeverReplacesTheFileRead)
{
    ScratchFolder dir;
    const std::vector<glm::dvec3> xyz{{0.1, 0.2, 0.3}, {1.25, -0.5, 2.0}};
    const std::vector<uint32_t> index{7, 0};
    for (const bool periodic : {false, true}) {
        CCif writer;
        writer.is_periodic = periodic;
        writer.cell_xyz = CCif::CellOfParameters({4.0, 5.0, 6.0}, {80.0, 95.0, 100.0});
        std::vector<glm::dvec3> p = xyz;
        std::vector<uint32_t> i = index;
        ASSERT_TRUE(writer.SaveFile("", dir / "out.cif", p, i)) << writer.error_message;
        const auto back = ReadStructure<CCif>(dir.Path(), dir / "out.cif");
        ASSERT_TRUE(back.ok) << back.reader.error_message;
        EXPECT_EQ(back.index, index);
        EXPECT_EQ(back.reader.is_periodic, periodic);
        EXPECT_EQ(back.reader.v_label, (std::vector<std::string>{"O1", "H1"}));
        // Crystal atoms come back wrapped into the cell: the same up to a lattice translation.
        const glm::dmat3 to_fractional = glm::inverse(writer.cell_xyz);
        for (size_t a = 0; a < xyz.size(); ++a)
            for (int k = 0; k < 3; ++k) {
                const double shift = periodic ? (to_fractional * (back.xyz[a] - xyz[a]))[k] : back.xyz[a][k] - xyz[a][k];
                EXPECT_NEAR(shift, std::round(shift), periodic ? 1e-12 : 0.0);
            }
    }
    WriteText(dir / "copy.cif", ReadText(DATA + "/cif/rutile_hall_only.cif"));
    auto r = ReadStructure<CCif>(dir.Path(), dir / "copy.cif");
    ASSERT_TRUE(r.ok);
    EXPECT_FALSE(r.reader.SavesInPlace());
    EXPECT_FALSE(r.reader.SaveFile("", dir / "copy.cif", r.xyz, r.index));
    EXPECT_NE(r.reader.error_message.find("not rewritten in place"), std::string::npos);
    EXPECT_EQ(ReadText(dir / "copy.cif"), ReadText(DATA + "/cif/rutile_hall_only.cif"));
}

// CIFs written by pymatgen and ASE, the hand-written ones and mmCIF copies of the PDB files,
// against ASE's and gemmi's readers (python3-ase, python3-pymatgen, python3-gemmi).
TEST(Cif, OutsideReadersAgree)
{
    ScratchFolder dir;
    const std::string command = "/usr/bin/python3 -W ignore " + std::string(KIVOA_SOURCE_DIR) +
                                "/tests/oracles/cif_ase_compare.py " + KIVOA_BINARY_DIR + "/kivoa-info " +
                                DATA + " " + dir.Path();
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

// The list of blocks says what each block is: its formula, else its mineral, common or systematic
// name, in that order; a null value ('?', '.') counts as none.
TEST(Cif, EachBlockIsListedWithWhatItIs)
{
    const std::string sites = "_cell_length_a 4\n_cell_length_b 4\n_cell_length_c 4\n_cell_angle_alpha 90\n"
                              "_cell_angle_beta 90\n_cell_angle_gamma 90\n"
                              "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n"
                              "Fe1 0 0 0\n";
    const std::pair<std::string, std::string> blocks[] = {
        {"_chemical_formula_sum 'Fe2 O3'\n_chemical_name_mineral hematite\n", "  Fe2 O3"},
        {"_chemical_formula_sum ?\n_chemical_name_mineral hematite\n", "  hematite"},
        {"_chemical_name_common 'iron oxide'\n_chemical_name_systematic 'iron(III) oxide'\n", "  iron oxide"},
        {"_chemical_name_systematic 'iron(III) oxide'\n", "  iron(III) oxide"},
        {"_chemical_name_mineral .\n", ""},
    };
    std::string text;
    for (size_t k = 0; k < std::size(blocks); ++k)
        text += "data_591007" + std::to_string(k) + "\n" + blocks[k].first + sites;
    ScratchFolder folder;
    WriteText(folder / "blocks.cif", text);
    CModel model;
    ASSERT_TRUE(model.ReadStructureFile(folder.Path(), folder / "blocks.cif", INPUT_FILE_TYPE_CIF))
        << model.error_message;
    ASSERT_EQ(model.cif.v_block_names.size(), std::size(blocks));
    for (size_t k = 0; k < std::size(blocks); ++k)
        EXPECT_EQ(model.cif.BlockEntry(k), "591007" + std::to_string(k) + blocks[k].second) << k;
}
