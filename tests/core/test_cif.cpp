// CIF crystals: the file's symmetry expanded, disorder kept apart, the P1 writer. Files made by
// pymatgen and ASE, read by ASE as the oracle, are in tests/oracles/cif_ase_compare.py.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ccif.h"
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

} // namespace

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
        {"P 63/m m c", 120, 24}, {"P 1", 90, 1},
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
