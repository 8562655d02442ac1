"""Files written by ASE, edited and saved by kivoa-info, read back by ASE: the atoms must be the
edited ones, and what kivoa does not hold (forces, energy, labels) must have stayed.

usage: ase_edits.py KIVOA_INFO SCRATCH_FOLDER
"""
import numpy as np
from ase.build import bulk
from ase.calculators.singlepoint import SinglePointCalculator
import ase.io

from kivoa_oracle import check, finish, kivoa, scratch


def expected_after_edits(atoms):
    """The edits below applied the way kivoa-info applies them."""
    edited = atoms.copy()
    edited.positions[0] = [0.5, 0.25, 0.125]
    edited[1].symbol = "K"
    del edited[2]
    return edited


EDITS = ["--move", "0", "0.5", "0.25", "0.125", "--element", "1", "K", "--delete", "2"]

# Extended XYZ with forces and an energy, two frames.
crystal = bulk("NaCl", "rocksalt", a=5.64).repeat((2, 1, 1))
forces = np.arange(len(crystal) * 3, dtype=float).reshape(-1, 3) / 10.0
crystal.calc = SinglePointCalculator(crystal, energy=-3.25, forces=forces)
source = f"{scratch}/frames.xyz"
ase.io.write(source, [crystal, crystal], format="extxyz")
kivoa(source, "--write", f"{scratch}/same.xyz")
check("unedited extended XYZ kept byte for byte",
      open(source, "rb").read() == open(f"{scratch}/same.xyz", "rb").read())
kivoa(*EDITS, "--write", f"{scratch}/edited.xyz", source)
frames = ase.io.read(f"{scratch}/edited.xyz", index=":")
want = expected_after_edits(crystal)
got = frames[0]
# The deletion and the new element hold in the second frame (the same atoms); the move does not.
later = crystal.copy()
later[1].symbol = "K"
del later[2]
check("XYZ frames kept", len(frames) == 2)
check("XYZ second frame edited alike",
      frames[1].get_chemical_symbols() == later.get_chemical_symbols() and
      np.allclose(frames[1].positions, later.positions, atol=1e-12))
check("XYZ symbols", got.get_chemical_symbols() == want.get_chemical_symbols())
check("XYZ positions", np.allclose(got.positions, want.positions, atol=1e-6))
check("XYZ cell", np.allclose(got.cell.array, crystal.cell.array))
check("XYZ forces kept", np.allclose(got.get_forces(), np.delete(forces, 2, axis=0)))
check("XYZ energy kept", abs(got.get_potential_energy() + 3.25) < 1e-12)

# POSCAR, fractional and Cartesian, with selective dynamics.
from ase.constraints import FixAtoms
crystal.set_constraint(FixAtoms(indices=[3]))
for direct in (True, False):
    poscar = f"{scratch}/POSCAR_{direct}"
    ase.io.write(poscar, crystal, format="vasp", direct=direct)
    kivoa(poscar, "--write", f"{poscar}_same")
    check(f"unedited POSCAR kept byte for byte (direct={direct})",
          open(poscar, "rb").read() == open(f"{poscar}_same", "rb").read())
    kivoa(*EDITS, "--write", f"{poscar}_edited", poscar)
    got = ase.io.read(f"{poscar}_edited", format="vasp")
    check(f"VASP symbols (direct={direct})",
          got.get_chemical_symbols() == want.get_chemical_symbols())
    check(f"VASP positions (direct={direct})",
          np.allclose(got.positions, want.positions, atol=1e-6))
    check(f"VASP constraint kept (direct={direct})",
          [c.index.tolist() for c in got.constraints] == [[2]])

finish()
