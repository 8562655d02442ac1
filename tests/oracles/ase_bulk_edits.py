"""Bulk edits, added atoms, supercells and wraps made by kivoa-info, read back by ASE (extended
XYZ, POSCAR) and gemmi (PDB): the atoms must be those ASE builds with the same edits
(atoms.repeat for a supercell, atoms.wrap for a wrap), and what the files carry besides the atoms
(forces, selective-dynamics flags) must follow them.

usage: ase_bulk_edits.py KIVOA_INFO SCRATCH_FOLDER
"""
import numpy as np
from ase import Atom
from ase.build import bulk
from ase.calculators.singlepoint import SinglePointCalculator
from ase.constraints import FixAtoms
import ase.io
import gemmi

from kivoa_oracle import check, finish, kivoa, scratch


def deleted_element(atoms, symbol):
    return atoms[[a.symbol != symbol for a in atoms]]


def added(atoms, symbol, xyz):
    out = atoms.copy()
    out.append(Atom(symbol, xyz))
    return out


def wrapped_after_move(atoms, xyz):
    out = atoms.copy()
    out.positions[0] = xyz
    out.wrap()
    return out


ADD = ["O", "0.5", "0.25", "-0.125"]
SHIFT = [-6.0, 0.5, 13.0]
# (name, kivoa-info edits, the structure ASE expects from the original)
CASES = [
    ("delete-element", ["--delete-element", "Cl"], lambda a: deleted_element(a, "Cl")),
    ("supercell", ["--supercell", "2", "3", "1"], lambda a: a.repeat((2, 3, 1))),
    ("add", ["--add", *ADD], lambda a: added(a, "O", [0.5, 0.25, -0.125])),
    ("wrap", ["--move", "0", *[str(x) for x in SHIFT], "--wrap"], lambda a: wrapped_after_move(a, SHIFT)),
    ("in order", ["--delete-element", "Cl", "--supercell", "1", "1", "2", "--add", *ADD],
     lambda a: added(deleted_element(a, "Cl").repeat((1, 1, 2)), "O", [0.5, 0.25, -0.125])),
]


def same_atoms(what, got, want):
    check(f"{what}: symbols {got.get_chemical_symbols()} != {want.get_chemical_symbols()}",
          got.get_chemical_symbols() == want.get_chemical_symbols())
    if len(got) == len(want):
        check(f"{what}: positions", np.allclose(got.positions, want.positions, atol=2e-4))
    check(f"{what}: cell", np.allclose(got.cell.array, want.cell.array, atol=1e-6))


crystal = bulk("NaCl", "rocksalt", a=5.64, cubic=True)
forces = np.arange(len(crystal) * 3, dtype=float).reshape(-1, 3) / 10.0
crystal.calc = SinglePointCalculator(crystal, energy=-3.25, forces=forces)

# Extended XYZ: forces follow the atoms (an image copies its atom's, a new atom gets zero).
source = f"{scratch}/crystal.xyz"
ase.io.write(source, crystal, format="extxyz")
for case in CASES:
    name, edits, _ = case
    out = f"{scratch}/{name}.xyz"
    kivoa(*edits, "--write", out, source)
    got = ase.io.read(out, format="extxyz")
    want = case[2](crystal)
    same_atoms(f"XYZ {name}", got, want)
    if name == "supercell":
        check("XYZ supercell: images carry their atom's forces",
              np.allclose(got.get_forces(), np.tile(forces, (6, 1))))
    if name == "add":
        check("XYZ add: the new atom has zero forces", np.allclose(got.get_forces()[-1], 0.0))

# POSCAR, fractional and Cartesian, with selective dynamics: an image keeps its atom's flags, a new
# atom moves freely.
crystal.set_constraint(FixAtoms(indices=[1]))
for direct in (True, False):
    poscar = f"{scratch}/POSCAR_{direct}"
    ase.io.write(poscar, crystal, format="vasp", direct=direct)
    for case in CASES:
        name, edits, _ = case
        out = f"{poscar}_{name}"
        kivoa(*edits, "--write", out, poscar)
        got = ase.io.read(out, format="vasp")
        free = crystal.copy()
        free.set_constraint()
        want = case[2](free)
        same_atoms(f"POSCAR {name} (direct={direct})", got, want)
        fixed = [c.index.tolist() for c in got.constraints]
        if name == "supercell":
            check(f"POSCAR supercell keeps the flags (direct={direct}): {fixed}",
                  fixed == [[1 + 8 * k for k in range(6)]])
        if name == "add":
            check(f"POSCAR add: the new atom moves freely (direct={direct}): {fixed}", fixed == [[1]])

# PDB with a cell: gemmi reads the atoms kivoa-info saved, the added one with a serial of its own.
pdb = f"{scratch}/crystal.pdb"
ase.io.write(pdb, crystal, format="proteindatabank")
for case in CASES:
    name, edits, _ = case
    out = f"{scratch}/{name}.pdb"
    described = kivoa("--atoms", *edits, "--write", out, pdb)
    if not described:
        continue
    structure = gemmi.read_structure(out)
    atoms = [a for res in structure[0][0] for a in res] if len(structure[0]) == 1 else \
        [cra.atom for cra in structure[0].all()]
    got = sorted((a.element.name, round(a.pos.x, 2), round(a.pos.y, 2), round(a.pos.z, 2)) for a in atoms)
    want = sorted((s, round(p[0], 2), round(p[1], 2), round(p[2], 2))
                  for s, p in zip(described["symbols"], described["positions"]))
    check(f"PDB {name}: gemmi reads the atoms saved", got == want)
    serials = [a.serial for a in atoms]
    check(f"PDB {name}: serials are unique", len(set(serials)) == len(serials))
    want_cell = np.array(described["cell"])
    lengths = [structure.cell.a, structure.cell.b, structure.cell.c]
    check(f"PDB {name}: cell {lengths}", np.allclose(lengths, np.linalg.norm(want_cell, axis=1), atol=1e-3))

finish()
