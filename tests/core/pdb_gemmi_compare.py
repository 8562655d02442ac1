"""Compares, atom by atom, what kivoa-info reads from a PDB file with what gemmi reads from it:
the atoms of the first model, by element and position. gemmi groups atoms by chain and residue,
which reorders residues that recur (waters numbered again after TER), so both sides are sorted
by position before they are paired.
Usage: pdb_gemmi_compare.py KIVOA_INFO FILE. Exit status 0 when they agree; otherwise the first
difference is printed."""
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


def main():
    program, path = sys.argv[1], sys.argv[2]
    structure = gemmi.read_pdb(path)
    expected = gemmi_atoms(structure)
    run = subprocess.run([program, "--format", "pdb", "--atoms", path],
                         capture_output=True, text=True)
    if not expected:
        # No atoms: the file must be refused, not read as an empty structure.
        if run.returncode == 0:
            sys.exit(f"{path}: gemmi finds no atoms, kivoa-info reads some")
        return
    if run.returncode != 0:
        sys.exit(f"{path}: kivoa-info fails: {run.stderr.strip()}")
    info = json.loads(run.stdout)
    compare_cell(path, structure, info)
    got = sorted(zip(info["symbols"], info["positions"]), key=by_position)
    expected.sort(key=by_position)
    if len(got) != len(expected):
        sys.exit(f"{path}: kivoa-info reads {len(got)} atoms, gemmi {len(expected)}")
    for k, ((symbol, p), (element, q)) in enumerate(zip(got, expected)):
        if symbol.upper() != element.upper() or max(abs(a - b) for a, b in zip(p, q)) > TOLERANCE:
            sys.exit(f"{path}: atom {k + 1} by position: kivoa-info {symbol} {p}, gemmi {element} {list(q)}")


main()
