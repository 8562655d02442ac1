"""Every file kind Kivoa reads, crossed with every edit and every save: each cell is made by
kivoa-info (edits, then --write) and either saves or is refused with a reason. A saved file is read
back by kivoa-info and by an outside reader (ASE; gemmi for PDB and mmCIF) and compared with the
model kivoa-info showed: elements, positions, cell where the format keeps one, frames, and what the
format holds besides (occupancies, selective-dynamics flags, velocities).

usage: edit_matrix.py KIVOA_INFO SCRATCH_FOLDER
"""
import os
import shutil
import subprocess
import json

import numpy as np

from kivoa_oracle import check, finish, info, scratch

import ase.io
from ase.build import bulk, molecule
import gemmi

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data")

# Edits as kivoa-info options.
EDITS = {
    "move": ["--move", "1", "0.25", "-0.5", "0.75"],
    "retype": ["--element", "0", "Ge"],
    "delete": ["--delete", "1"],
    "add": ["--add", "O", "0.1", "0.2", "0.3"],
    "delete-element": None,  # the row's last element
    "supercell": ["--supercell", "2", "1", "1"],
    "wrap": ["--move", "0", "-7.5", "0.5", "13.0", "--wrap"],
    "undo-all": [],  # no edit: the save must copy the file
}
# Saves: the row's own format (its own kind of name) and every other format by name.
SAVES = {"own": None, "xyz": "out.xyz", "vasp": "out.vasp", "pdb": "out.pdb", "cif": "out.cif"}


def write(path, text):
    with open(path, "w") as f:
        f.write(text)


POSCAR_FLAGS = """Si flags
5.43
1 0 0
0 1 0
0 0 1
Si C
3 1
Selective dynamics
Direct
0.0 0.0 0.0 F F F
0.25 0.25 0.25 T T T
0.5 0.5 0.0 T T T
0.75 0.75 0.25 F F F
"""
CONTCAR_VELOCITIES = """Si velocities
1.0
5.43 0 0
0 5.43 0
0 0 5.43
Si O
2 1
Cartesian
0.0 0.0 0.0
1.3575 1.3575 1.3575
2.715 2.715 0.0

  0.01 0.02 0.03
  0.04 0.05 0.06
  0.07 0.08 0.09
"""
PDB_RECORDS = """HEADER    TEST ENTRY
CRYST1   10.000   10.000   10.000  90.00  90.00  90.00 P 1           1
SCALE1      0.100000  0.000000  0.000000        0.00000
SCALE2      0.000000  0.100000  0.000000        0.00000
SCALE3      0.000000  0.000000  0.100000        0.00000
LINK         N   ALA A   1                ZN    ZN A 101     1555   1555  2.10
ATOM      1  N   ALA A   1       1.000   1.000   1.000  1.00  0.00           N
ANISOU    1  N   ALA A   1      100    100    100      0      0      0       N
ATOM      2  CA  ALA A   1       2.458   1.000   1.000  1.00  0.00           C
ATOM      3  C   ALA A   1       3.009   2.420   1.000  1.00  0.00           C
HETATM    4 ZN    ZN A 101       1.000   3.100   1.000  1.00  0.00          ZN
CONECT    1    4
CONECT    4    1
END
"""
PDB_MODELS = """HEADER    TWO MODELS
CRYST1   10.000   10.000   10.000  90.00  90.00  90.00 P 1           1
LINK         N   ALA A   1                ZN    ZN A 101     1555   1555  2.10
MODEL        1
ATOM      1  N   ALA A   1       1.000   1.000   1.000  1.00  0.00           N
ATOM      2  CA  ALA A   1       2.458   1.000   1.000  1.00  0.00           C
HETATM    3 ZN    ZN A 101       1.000   3.100   1.000  1.00  0.00          ZN
ENDMDL
MODEL        2
ATOM      1  N   ALA A   1       1.100   1.000   1.000  1.00  0.00           N
ATOM      2  CA  ALA A   1       2.558   1.000   1.000  1.00  0.00           C
HETATM    3 ZN    ZN A 101       1.100   3.100   1.000  1.00  0.00          ZN
ENDMDL
END
"""
CIF_OCCUPANCY = """data_nacl_half
_cell_length_a 5.64
_cell_length_b 5.64
_cell_length_c 5.64
_cell_angle_alpha 90
_cell_angle_beta 90
_cell_angle_gamma 90
_symmetry_space_group_name_H-M 'P m -3 m'
loop_
_atom_site_label
_atom_site_type_symbol
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
_atom_site_occupancy
Na1 Na 0 0 0 0.5
Cl1 Cl 0.5 0.5 0.5 1
"""
XDATCAR_BLOCK = "Direct configuration=     {k}\n  0.0 0.0 0.{k}\n  0.25 0.25 0.25\n  0.5 0.5 0.0\n"
XDATCAR_HEADER = "Si C\n           1\n  5.43 0 0\n  0 5.43 0\n  0 0 5.43\n{symbols}  2 1\n"
VARIABLE_BLOCK = "Si C\n1.0\n  {a} 0 0\n  0 5.43 0\n  0 0 5.43\n Si C\n  2 1\n" + XDATCAR_BLOCK


def xdatcar(symbols=True, frames=3, cut=False):
    text = XDATCAR_HEADER.format(symbols=" Si C\n" if symbols else "")
    text += "".join(XDATCAR_BLOCK.format(k=k) for k in range(1, frames + 1))
    return text + ("Direct configuration=     9\n  0.1 0.1 0.1\n" if cut else "")


def make_rows():
    """(name, file, format flags) of every row, written into the scratch folder."""
    rows = []

    def row(name, file_name, text=None, source=None, **flags):
        folder = os.path.join(scratch, name)
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, file_name)
        if source:
            for f in os.listdir(source):
                shutil.copy(os.path.join(source, f), folder)
        elif text is not None:
            write(path, text)
        rows.append((name, path, flags))
        return path

    water = molecule("H2O")
    ase.io.write(row("xyz", "water.xyz"), water, format="xyz")
    si = bulk("SiC", "zincblende", a=4.36)
    si.new_array("forces_extra", np.arange(len(si) * 3, dtype=float).reshape(-1, 3))
    # A primitive fcc cell is turned as CRYST1 cannot describe it.
    ase.io.write(row("extxyz", "si.xyz", periodic=True, turned=True), si, format="extxyz")
    frames = [water.copy() for _ in range(3)]
    for k, f in enumerate(frames):
        f.positions += 0.1 * k
    ase.io.write(row("xyz-frames", "run.xyz", frames=3), frames, format="extxyz")
    # The second frame does not read: it is copied as it is, never turned into a frame.
    row("xyz-unreadable", "run.xyz", "3\nf0\nO 0 0 0\nH 0 0.9 0\nC 1 1 1\n3\nf1\nO 0 0 x\nH 0 0.9 0\nC 1 1 1\n"
        "3\nf2\nO 0 0 2\nH 0 0.9 2\nC 1 1 3\n", frames=3, kivoa_only=True)
    row("poscar-flags", "POSCAR", POSCAR_FLAGS, periodic=True, flags=True)
    row("contcar-velocities", "CONTCAR", CONTCAR_VELOCITIES, periodic=True, velocities=True)
    row("vasp4", "POSCAR", source=os.path.join(DATA, "vasp", "vasp4"), periodic=True)
    row("pdb-records", "entry.pdb", PDB_RECORDS, periodic=True)
    row("pdb-models", "models.pdb", PDB_MODELS, periodic=True, frames=2)
    row("cif-occupancy", "nacl.cif", CIF_OCCUPANCY, periodic=True, occupancy=True)
    st = gemmi.read_structure(os.path.join(DATA, "pdb", "standard_columns.pdb"))
    st.cell = gemmi.UnitCell(20, 20, 20, 90, 90, 90)
    st.spacegroup_hm = "P 1"
    st.setup_entities()
    st.make_mmcif_document().write_file(row("mmcif", "entry.cif", periodic=True))
    row("xdatcar", "XDATCAR", xdatcar(), periodic=True, frames=3)
    row("xdatcar-one", "XDATCAR", xdatcar(frames=1), periodic=True)
    row("xdatcar-variable", "XDATCAR",
        "".join(VARIABLE_BLOCK.format(a=5.43 + 0.1 * k, k=k) for k in range(1, 3)), periodic=True, frames=2)
    # ASE reads neither an XDATCAR without symbols nor one with a cut-short block.
    row("xdatcar-vasp4", "XDATCAR", xdatcar(symbols=False), periodic=True, frames=3, kivoa_only=True)
    row("xdatcar-cut", "XDATCAR", xdatcar(cut=True), periodic=True, frames=3, cut=True, kivoa_only=True)
    return rows


def run(*args):
    proc = subprocess.run([info, *args], capture_output=True, text=True)
    return proc.returncode, proc.stdout, proc.stderr


def refusal(flags, edit, save):
    """Why the cell must be refused, or None when it must save."""
    frames = flags.get("frames", 1) > 1
    if edit in ("supercell", "wrap") and not flags.get("periodic"):
        return "no cell"
    if edit == "supercell" and frames:
        return "trajectory"
    if save == "vasp" and not flags.get("periodic"):
        return "a POSCAR needs a cell"
    if flags.get("cut") and edit in ("delete", "add", "delete-element") and save == "own":
        return "cut block"
    return None


def left_out(flags, save, own):
    """What a save into another format must say it left out."""
    if save in ("own", own):
        return []
    lost = []
    if flags.get("frames", 1) > 1:
        lost.append("frames")
    if flags.get("occupancy") and save != "cif":
        lost.append("occupancies")
    if flags.get("flags") and save != "vasp":
        lost.append("selective-dynamics flags")
    if flags.get("velocities") and save != "vasp":
        lost.append("velocities")
    if flags.get("turned") and save == "pdb":
        lost.append("the cell")
    return lost


def edits_of(path, edit):
    if edit != "delete-element":
        return EDITS[edit]
    code, out, _ = run(path)
    return ["--delete-element", json.loads(out)["composition"][-1]["symbol"]] if code == 0 else []


def match(got_symbols, got_positions, want_symbols, want_positions, tolerance, cell=None):
    """Whether the atoms are the same up to order (POSCAR groups by element) and, given the cell,
    up to a lattice vector (a CIF's sites are read into the cell)."""
    if sorted(got_symbols) != sorted(want_symbols):
        return False
    inverse = np.linalg.inv(np.array(cell, dtype=float)) if cell is not None else None

    def same(a, b):
        d = np.asarray(a, dtype=float) - np.asarray(b, dtype=float)
        if inverse is not None:
            f = d @ inverse
            d = (f - np.round(f)) @ np.array(cell, dtype=float)
        return np.allclose(d, 0.0, atol=tolerance)

    left = list(range(len(want_symbols)))
    for s, p in zip(got_symbols, np.asarray(got_positions, dtype=float)):
        near = [k for k in left if want_symbols[k] == s and same(want_positions[k], p)]
        if not near:
            return False
        left.remove(near[0])
    return True


def outside(out_path, save_format):
    """(symbols, positions, cell or None, frames) as the outside reader reads `out_path`."""
    if save_format == "pdb":
        st = gemmi.read_structure(out_path)
        symbols = [cra.atom.element.name for cra in st[0].all()]
        positions = [[cra.atom.pos.x, cra.atom.pos.y, cra.atom.pos.z] for cra in st[0].all()]
        cell = None if not st.cell.is_crystal() else st.cell.parameters
        return symbols, positions, cell, len(st), None
    fmt = {"xyz": "extxyz", "vasp": "vasp", "xdatcar": "vasp-xdatcar", "cif": "cif"}[save_format]
    images = ase.io.read(out_path, index=":", format=fmt)
    a = images[0]
    cell = a.cell.cellpar() if a.cell.rank == 3 else None
    if cell is None and save_format == "xyz":
        cell = xyz_cell(out_path)
    scaled = a.get_scaled_positions(wrap=False) if a.cell.rank == 3 else None
    return a.get_chemical_symbols(), a.positions, cell, len(images), scaled


def xyz_cell(path):
    """The cell of Kivoa's own XYZ comment line, Cell="ax ay az bx by bz cx cy cz"."""
    comment = open(path).read().split("\n")[1]
    if 'Cell="' not in comment:
        return None
    return cellpar(np.array(comment.split('Cell="')[1].split('"')[0].split(), dtype=float).reshape(3, 3))


def fractional(positions, cell):
    return np.asarray(positions, dtype=float) @ np.linalg.inv(np.array(cell, dtype=float))


def cellpar(cell):
    m = np.array(cell, dtype=float)
    lengths = np.linalg.norm(m, axis=1)
    angles = [np.degrees(np.arccos(np.clip(np.dot(m[i], m[j]) / (lengths[i] * lengths[j]), -1, 1)))
              for i, j in ((1, 2), (0, 2), (0, 1))]
    return np.concatenate([lengths, angles])


def save_format_of(path, save):
    if save != "own":
        return save
    name = os.path.basename(path).lower()
    if name.startswith("xdatcar"):
        return "xdatcar"
    if name.startswith(("poscar", "contcar")):
        return "vasp"
    return os.path.splitext(name)[1][1:]


def cell_check(name, row_path, flags, out_path, shown):
    code, out, err = run(out_path, "--atoms")
    check(f"{name}: kivoa-info reads the save back: {err.strip()}", code == 0)
    if code != 0:
        return
    back = json.loads(out)
    tolerance = 2e-3
    fmt = save_format_of(row_path, name.split("/")[-1])
    # A CIF keeps the cell's shape, not how it is turned: its atoms are compared along the cell.
    along_cell = fmt == "cif" and shown["periodic"]
    want = fractional(shown["positions"], shown["cell"]) if along_cell else np.array(shown["positions"])
    got = fractional(back["positions"], back["cell"]) if along_cell else back["positions"]
    lattice = np.eye(3) if along_cell else None
    tolerance = 5e-4 if along_cell else tolerance
    check(f"{name}: kivoa reads back the atoms shown", match(back["symbols"], got, shown["symbols"], want, tolerance, lattice))
    own_frames = shown["frames"] if fmt == save_format_of(row_path, "own") else 1
    if fmt in ("xyz", "xdatcar", "pdb") and own_frames > 1:
        check(f"{name}: frames {back['frames']} != {own_frames}", back["frames"] == own_frames)
    if flags.get("kivoa_only") and fmt == save_format_of(row_path, "own"):
        return
    try:
        symbols, positions, cell, frames, scaled = outside(out_path, fmt)
    except Exception as e:  # an unreadable save is a failed cell, not the end of the table
        check(f"{name}: the outside reader cannot read the save: {e!r}", False)
        return
    check(f"{name}: the outside reader reads the atoms shown",
          match(symbols, scaled if along_cell else positions, shown["symbols"], want, tolerance, lattice))
    if shown["periodic"] and not (flags.get("turned") and fmt == "pdb"):
        check(f"{name}: cell {cell} != {cellpar(shown['cell'])}",
              cell is not None and np.allclose(cell, cellpar(shown["cell"]), atol=2e-3))
    if fmt in ("xyz", "xdatcar", "pdb") and own_frames > 1:
        check(f"{name}: the outside reader reads {frames} frames, not {own_frames}", frames == own_frames)


def extras_check(name, flags, edit, out_path):
    """What the formats keep besides atoms: flags, velocities, occupancies follow the atoms."""
    text = open(out_path).read()
    base = os.path.basename(out_path)
    is_vasp = base.startswith(("POSCAR", "CONTCAR")) or base.endswith(".vasp")
    if flags.get("flags") and is_vasp:
        atoms = ase.io.read(out_path, format="vasp")
        fixed = sum(len(c.index) for c in atoms.constraints)
        want = {"supercell": 4, "delete-element": 1}.get(edit, 2)  # atoms 0 and 3 (C) are fixed
        check(f"{name}: {fixed} atoms fixed, not {want}", fixed == want)
    if flags.get("velocities") and is_vasp:
        lines = text.rstrip("\n").split("\n")
        count = sum(int(x) for x in lines[6].split())
        tail = lines[-count:]
        check(f"{name}: a velocity line per atom", len(lines) >= 9 + 2 * count and all(len(t.split()) == 3 for t in tail))
    scale = [line for line in text.split("\n") if line.startswith("SCALE")]
    if scale and out_path.endswith(".pdb"):
        st = gemmi.read_structure(out_path)
        rows = np.array([[float(line[10 + 10 * k:20 + 10 * k]) for k in range(3)] for line in scale])
        check(f"{name}: SCALE is the inverse of the cell", np.allclose(rows, np.array(st.cell.frac.mat), atol=2e-6))
    if flags.get("occupancy") and out_path.endswith(".cif"):
        block = gemmi.cif.read(out_path).sole_block()
        table = block.find("_atom_site_", ["label", "type_symbol", "occupancy"])
        labels = [r[0] for r in table]
        check(f"{name}: labels repeat", len(labels) == len(set(labels)))
        for r in table:
            want = 0.5 if r[1] in ("Na", "Ge") else 1.0  # Ge: the Na site re-typed
            check(f"{name}: {r[0]} occupancy {r[2]} != {want}", abs(float(r[2]) - want) < 1e-9)


def main():
    for row_name, path, flags in make_rows():
        folder = os.path.dirname(path)
        original = open(path, "rb").read()
        for edit in EDITS:
            edits = edits_of(path, edit)
            for save, target in SAVES.items():
                name = f"{row_name}/{edit}/{save}"
                out_path = os.path.join(folder, "edited_" + os.path.basename(path) if save == "own" else target)
                if save == "own" and os.path.basename(path).upper().startswith(("POSCAR", "CONTCAR", "XDATCAR")):
                    out_path = os.path.join(folder, os.path.basename(path) + "_edited")
                if os.path.exists(out_path):
                    os.remove(out_path)
                code, out, err = run(*edits, "--atoms", "--write", out_path, path)
                check(f"{name}: kivoa-info crashed ({code}): {err.strip()}", code in (0, 1, 2))
                why = refusal(flags, edit, save)
                if why is not None:
                    check(f"{name}: expected a refusal ({why})", code != 0 and not os.path.exists(out_path))
                    continue
                check(f"{name}: refused: {err.strip()}", code == 0)
                if code != 0:
                    continue
                lost = left_out(flags, save, save_format_of(path, "own"))
                check(f"{name}: no note says {lost} was left out: {err.strip()}", all(w in err for w in lost))
                if edit == "undo-all" and save == "own" and not path.endswith(".cif"):
                    check(f"{name}: an unedited save is a copy", open(out_path, "rb").read() == original)
                cell_check(name, path, flags, out_path, json.loads(out))
                extras_check(name, flags, edit, out_path)
            check(f"{row_name}/{edit}: the file read is left as it was", open(path, "rb").read() == original)
    finish()


main()
