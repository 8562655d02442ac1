"""Volumetric files written by pymatgen (CHGCAR) and ASE (cube), and cubes in angstrom and of
orbitals written here, read by kivoa-info: electron counts of a normalised Gaussian, areas of its
spherical isosurfaces, the blocks of spin-polarised and non-collinear files, the lobes of two
blobs of opposite sign, and a mesh closed across the periodic cell faces.

usage: volume_files.py KIVOA_INFO SCRATCH_FOLDER
"""
import math

import numpy as np
import ase.io
from ase import Atoms
from ase.units import Bohr
from pymatgen.core import Lattice, Structure
from pymatgen.io.vasp.outputs import Chgcar
from pymatgen.io.vasp.inputs import Poscar

from kivoa_oracle import check, finish, kivoa, scratch

A = 6.0       # cubic cell edge (angstrom)
N = 48        # points per edge
SIGMA = 0.8   # Gaussian width (angstrom)
R0 = 1.03     # radius of the isosurface checked (between grid points)


def gaussian(centre, electrons):
    """A periodic normalised Gaussian (electrons per cubic angstrom) on the grid, x fastest in
    the file (array index [i, j, k] along a, b, c)."""
    axis = np.arange(N) * A / N
    x, y, z = np.meshgrid(axis, axis, axis, indexing="ij")
    rho = np.zeros_like(x)
    for shift in np.ndindex(3, 3, 3):
        c = np.array(centre) + (np.array(shift) - 1) * A
        rho += np.exp(-((x - c[0]) ** 2 + (y - c[1]) ** 2 + (z - c[2]) ** 2) / (2 * SIGMA ** 2))
    return rho * electrons / ((2 * math.pi) ** 1.5 * SIGMA ** 3)


def level(electrons):
    return electrons / ((2 * math.pi) ** 1.5 * SIGMA ** 3) * math.exp(-R0 ** 2 / (2 * SIGMA ** 2))


SPHERE = 4 * math.pi * R0 ** 2
VOLUME = A ** 3
MIDDLE = [A / 2] * 3


def close(what, got, want, rel):
    check(f"{what}: {got} against {want}", abs(got - want) <= rel * abs(want))


def structure():
    return Structure(Lattice.cubic(A), ["Na", "Cl"], [[0.5, 0.5, 0.5], [0, 0, 0]])


def write_chgcar(name, blocks):
    chgcar = Chgcar(Poscar(structure()), {k: v * VOLUME for k, v in blocks.items()})
    chgcar.write_file(f"{scratch}/{name}")
    return f"{scratch}/{name}"


def surface(grid, sign):
    return grid["isosurface"].get(sign, {"area": 0.0, "triangles": 0})


# A CHGCAR of 8 electrons and its spin-polarised (2 up) and non-collinear versions.
rho = gaussian(MIDDLE, 8.0)
moment = gaussian(MIDDLE, 2.0)
v = level(8.0)
files = {
    "CHGCAR": (write_chgcar("CHGCAR", {"total": rho}), ["total"]),
    "spin": (write_chgcar("CHGCAR_spin", {"total": rho, "diff": moment}), ["total", "magnetization"]),
    "soc": (write_chgcar("CHGCAR_soc", {"total": rho, "diff_x": 0 * moment, "diff_y": 0 * moment, "diff_z": moment}),
            ["total", "mx", "my", "mz"]),
}
for what, (path, names) in files.items():
    j = kivoa("--isosurface", str(v), path)
    grid = j.get("grid", {})
    check(f"{what}: format and atoms", j.get("format") == "chgcar" and j.get("atoms") == 2)
    check(f"{what}: counts {grid.get('counts')}", grid.get("counts") == [N, N, N])
    check(f"{what}: voxels", np.allclose(grid.get("voxels", 0), np.eye(3) * A / N))
    check(f"{what}: block names {grid.get('blocks')}", [b["name"] for b in grid.get("blocks", [])] == names)
    close(f"{what}: electrons", grid["blocks"][0]["electrons"], 8.0, 1e-4)
    close(f"{what}: max", grid["blocks"][0]["max"], rho.max(), 1e-4)
    close(f"{what}: sphere area", surface(grid, "positive")["area"], SPHERE, 0.01)
    check(f"{what}: no negative surface", "negative" not in grid["isosurface"])
    close(f"{what}: moment", grid["blocks"][-1]["electrons"], 2.0 if len(names) > 1 else 8.0, 1e-4)
j = kivoa("--grid-block", "1", "--isosurface", str(level(2.0)), files["spin"][0])
close("magnetization sphere", surface(j.get("grid", {}), "positive")["area"], SPHERE, 0.01)

# LOCPOT values stand as they are: no division by the volume, no electrons.
locpot = write_chgcar("LOCPOT", {"total": rho / VOLUME})
grid = kivoa(locpot).get("grid", {})
check(f"LOCPOT: block 0 as it stands {grid}", grid.get("blocks", [{}])[0].get("name") == "block 0" and
      "electrons" not in grid["blocks"][0] and abs(grid["blocks"][0]["mean"] - rho.mean()) < 1e-6)

# The same density as a cube by ASE (bohr), read back by ASE for the atoms.
atoms = Atoms("NaCl", scaled_positions=[[0.5, 0.5, 0.5], [0, 0, 0]], cell=[A, A, A], pbc=True)
ase.io.write(f"{scratch}/bohr.cube", atoms, data=rho)
j = kivoa("--atoms", "--isosurface", str(v), f"{scratch}/bohr.cube")
back = ase.io.read(f"{scratch}/bohr.cube")
check("bohr cube: atoms where ASE has them", np.allclose(j.get("positions", 0), back.positions, atol=1e-5))
check("bohr cube: cell", np.allclose(j.get("cell", 0), back.cell, atol=1e-5))
grid = j.get("grid", {})
check(f"bohr cube: counts {grid.get('counts')}", grid.get("counts") == [N, N, N])
close("bohr cube: sphere area", surface(grid, "positive")["area"], SPHERE, 0.01)
close("bohr cube: mean", grid["blocks"][0]["mean"], rho.mean(), 1e-4)


def write_cube(name, natoms_line, axes_unit, blocks, orbitals=None):
    """A cube in angstrom (negative counts), its values z fastest, the orbital fastest."""
    scale = 1.0 if axes_unit == "angstrom" else 1 / Bohr
    sign = -1 if axes_unit == "angstrom" else 1
    lines = ["written for kivoa's tests", "values z fastest", f"{natoms_line} 0.0 0.0 0.0"]
    for k in range(3):
        vec = [0.0, 0.0, 0.0]
        vec[k] = A / N * scale
        lines.append(f"{sign * N} {vec[0]:.8f} {vec[1]:.8f} {vec[2]:.8f}")
    lines.append(f"11 0.0 {A / 2 * scale:.8f} {A / 2 * scale:.8f} {A / 2 * scale:.8f}")
    lines.append("17 0.0 0.0 0.0 0.0")
    if orbitals:
        lines.append(" ".join(str(o) for o in [len(orbitals)] + orbitals))
    values = np.stack(blocks, axis=-1).reshape(-1)
    for start in range(0, len(values), 6):
        lines.append(" ".join(f"{x:.6e}" for x in values[start:start + 6]))
    with open(f"{scratch}/{name}", "w") as f:
        f.write("\n".join(lines) + "\n")
    return f"{scratch}/{name}"


j = kivoa("--atoms", "--isosurface", str(v), write_cube("angstrom.cube", 2, "angstrom", [rho]))
check("angstrom cube: atoms in angstrom", np.allclose(j.get("positions", [0])[0], MIDDLE))
close("angstrom cube: sphere area", surface(j.get("grid", {}), "positive")["area"], SPHERE, 0.01)

# Two orbitals: the Gaussian, and two blobs of opposite sign, each a lobe.
pair = gaussian([A / 4] * 3, 8.0) - gaussian([3 * A / 4] * 3, 8.0)
orbital = write_cube("orbital.cube", -2, "angstrom", [rho, pair], orbitals=[7, 9])
j = kivoa("--grid-block", "1", "--isosurface", str(v), orbital)
grid = j.get("grid", {})
check(f"orbital cube: blocks {grid.get('blocks')}",
      [b["name"] for b in grid.get("blocks", [])] == ["orbital 7", "orbital 9"])
close("orbital cube: first block", grid["blocks"][0]["max"], rho.max(), 1e-4)
for sign in ("positive", "negative"):
    close(f"orbital cube: {sign} lobe", surface(grid, sign)["area"], SPHERE, 0.01)


def closed_across_faces(path, cell):
    """Every vertex is used, every edge of the mesh (its vertices taken modulo the cell) is met
    once in each direction, and the surface is a sphere (Euler characteristic 2)."""
    vertices, faces = [], []
    for line in open(path):
        if line.startswith("v "):
            vertices.append([float(x) for x in line.split()[1:]])
        elif line.startswith("f "):
            faces.append([int(x.split("/")[0]) - 1 for x in line.split()[1:]])
    # Images of a vertex on opposite faces are computed alike: they meet within the OBJ's digits.
    frac = np.mod(np.round(np.array(vertices) @ np.linalg.inv(cell), 6), 1.0)
    key = {}
    ids = [key.setdefault(tuple(np.round(f, 6) % 1.0), len(key)) for f in frac]
    edges = {}
    for f in faces:
        for a, b in ((f[0], f[1]), (f[1], f[2]), (f[2], f[0])):
            edges[(ids[a], ids[b])] = edges.get((ids[a], ids[b]), 0) + 1
    used = len({v for f in faces for v in f}) == len(vertices)
    paired = used and all(n == 1 and edges.get((b, a)) == 1 for (a, b), n in edges.items())
    euler = len(key) - len(edges) // 2 + len(faces)
    return paired, euler, len(faces)


# A blob on the cell's corner is cut by all three pairs of faces, at two levels.
corner = write_chgcar("CHGCAR_corner", {"total": gaussian([0, 0, 0], 8.0)})
for value in (v, 0.3):
    j = kivoa("--isosurface", str(value), "--write-mesh", f"{scratch}/corner.obj", corner)
    paired, euler, faces = closed_across_faces(f"{scratch}/corner.obj", np.eye(3) * A)
    check(f"corner blob at {value}: closed across the faces ({paired}, Euler characteristic {euler})",
          paired and euler == 2)
    check(f"corner blob at {value}: the triangles written are those counted",
          faces == surface(j.get("grid", {}), "positive")["triangles"])
    if value == v:
        close("corner blob: sphere area", surface(j.get("grid", {}), "positive")["area"], SPHERE, 0.01)
finish()
