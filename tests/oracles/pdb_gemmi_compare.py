"""Compares, atom by atom, what kivoa-info reads from a PDB file with what gemmi reads from it:
the atoms of the first model, by element and position. gemmi groups atoms by chain and residue,
which reorders residues that recur (waters numbered again after TER), so both sides are sorted
by position before they are paired.
Then the file is saved by kivoa-info unedited (it must come back byte for byte) and with a moved,
a re-typed and a deleted atom, and gemmi must read the edited file as kivoa-info does, with the
edits in it.
Usage: pdb_gemmi_compare.py KIVOA_INFO FILE SCRATCH_FOLDER. Exit status 0 when they agree;
otherwise the first difference is printed."""
import json
import math
import subprocess
import sys

import gemmi

TOLERANCE = 1e-6


def gemmi_atoms(structure):
    if len(structure) == 0:
        return []
    atoms = (cra.atom for cra in structure[0].all())
    return [(atom.element.name, (atom.pos.x, atom.pos.y, atom.pos.z)) for atom in atoms]


def parameters(cell):
    """Lengths and angles (degrees) of the cell vectors a, b, c."""
    lengths = [math.sqrt(sum(x * x for x in v)) for v in cell]

    def angle(i, j):
        dot = sum(x * y for x, y in zip(cell[i], cell[j]))
        return math.degrees(math.acos(dot / (lengths[i] * lengths[j])))

    return lengths + [angle(1, 2), angle(0, 2), angle(0, 1)]


def compare_cell(path, structure, info):
    cell = structure.cell
    if info["periodic"] != cell.is_crystal():
        sys.exit(f"{path}: periodic {info['periodic']}, gemmi's cell {cell}")
    if not info["periodic"]:
        return
    got = parameters(info["cell"])
    expected = [cell.a, cell.b, cell.c, cell.alpha, cell.beta, cell.gamma]
    if max(abs(a - b) for a, b in zip(got, expected)) > TOLERANCE:
        sys.exit(f"{path}: cell {got}, gemmi {expected}")


def by_position(atom):
    symbol, p = atom
    return (tuple(round(v, 3) for v in p), symbol.upper())


def read_info(program, path, *edits):
    run = subprocess.run([program, "--format", "pdb", "--atoms", *edits, path],
                         capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit(f"{path}: kivoa-info fails: {run.stderr.strip()}")
    return json.loads(run.stdout)


def compare(path, structure, info):
    expected = gemmi_atoms(structure)
    compare_cell(path, structure, info)
    got = sorted(zip(info["symbols"], info["positions"]), key=by_position)
    expected.sort(key=by_position)
    if len(got) != len(expected):
        sys.exit(f"{path}: kivoa-info reads {len(got)} atoms, gemmi {len(expected)}")
    for k, ((symbol, p), (element, q)) in enumerate(zip(got, expected)):
        if symbol.upper() != element.upper() or max(abs(a - b) for a, b in zip(p, q)) > TOLERANCE:
            sys.exit(f"{path}: atom {k + 1} by position: kivoa-info {symbol} {p}, gemmi {element} {list(q)}")


def check_saves(program, path, info, scratch):
    same = f"{scratch}/same.pdb"
    read_info(program, path, "--write", same)
    if open(path, "rb").read() != open(same, "rb").read():
        sys.exit(f"{path}: an unedited save changed the file")
    if len(info["symbols"]) < 3:
        return
    last = len(info["symbols"]) - 1
    moved = [v + d for v, d in zip(info["positions"][0], (1.5, -2.25, 0.5))]
    edited = f"{scratch}/edited.pdb"
    read_info(program, path, "--move", "0", *map(str, moved), "--element", "1", "Na",
              "--delete", str(last), "--write", edited)
    again = read_info(program, edited)
    want_symbols = info["symbols"][:last]
    want_symbols[1] = "Na"
    if again["symbols"] != want_symbols:
        sys.exit(f"{path}: edited file reads {again['symbols'][:3]}..., expected {want_symbols[:3]}...")
    want = info["positions"][:last]
    want[0] = moved
    for p, q in zip(again["positions"], want):
        if max(abs(a - b) for a, b in zip(p, q)) > 5e-4:
            sys.exit(f"{path}: edited file has an atom at {p}, expected {q}")
    compare(edited, gemmi.read_pdb(edited), again)


def main():
    program, path, scratch = sys.argv[1], sys.argv[2], sys.argv[3]
    structure = gemmi.read_pdb(path)
    if not gemmi_atoms(structure):
        # No atoms: the file must be refused, not read as an empty structure.
        run = subprocess.run([program, "--format", "pdb", path], capture_output=True)
        if run.returncode == 0:
            sys.exit(f"{path}: gemmi finds no atoms, kivoa-info reads some")
        return
    info = read_info(program, path)
    compare(path, structure, info)
    check_saves(program, path, info, scratch)


main()
