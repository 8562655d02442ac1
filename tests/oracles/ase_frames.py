"""Trajectories written by ASE (extended XYZ, XDATCAR) and a variable-cell XDATCAR laid out as
VASP writes it: kivoa-info must give ASE's frame count and, frame by frame, its positions and
cells; a deletion saved from one frame must hold in every frame when ASE reads the file back.

usage: ase_frames.py KIVOA_INFO SCRATCH_FOLDER
"""
import numpy as np
import ase.io
from ase.build import bulk

from kivoa_oracle import check, finish, kivoa, scratch


def images(count, cell_step=0.0):
    crystal = bulk("NaCl", "rocksalt", a=5.64).repeat((2, 2, 1))
    # In runs of one species, as XDATCAR holds them.
    crystal = crystal[np.argsort(crystal.numbers, kind="stable")]
    rng = np.random.default_rng(7)
    frames = []
    for k in range(count):
        a = crystal.copy()
        a.set_cell(a.cell.array * (1 + cell_step * k), scale_atoms=True)
        a.positions += rng.normal(scale=0.05, size=a.positions.shape)
        frames.append(a)
    return frames


def variable_cell_xdatcar(path, frames):
    """The XDATCAR of a run with a changing cell (ISIF=3): the header before every block."""
    with open(path, "w") as f:
        for k, a in enumerate(frames):
            f.write("NaCl\n           1\n")
            for v in a.cell.array:
                f.write("    %11.6f %11.6f %11.6f\n" % tuple(v))
            f.write("   Na   Cl\n     4     4\n")  # the 8 atoms of images()
            f.write("Direct configuration=%6d\n" % (k + 1))
            for p in a.get_scaled_positions(wrap=False):
                f.write("  %.8f  %.8f  %.8f\n" % tuple(p))


def compare(name, path, fmt, want):
    summary = kivoa("--format", fmt, path)
    check(f"{name}: frame count", summary.get("frames") == len(want))
    for k in (0, 1, len(want) - 1, -1):
        got = kivoa("--format", fmt, "--atoms", "--frame", str(k), path)
        a = want[k]
        check(f"{name} frame {k}: symbols", got.get("symbols") == a.get_chemical_symbols())
        check(f"{name} frame {k}: positions",
              np.allclose(got.get("positions"), a.positions, atol=1e-6))
        check(f"{name} frame {k}: cell", np.allclose(got.get("cell"), a.cell.array, atol=1e-6))


frames = images(5)
ase.io.write(f"{scratch}/run.xyz", frames, format="extxyz")
compare("extended XYZ", f"{scratch}/run.xyz", "xyz", frames)
ase.io.write(f"{scratch}/XDATCAR", frames, format="vasp-xdatcar")
compare("XDATCAR", f"{scratch}/XDATCAR", "xdatcar", ase.io.read(f"{scratch}/XDATCAR", index=":"))
changing = images(4, cell_step=0.01)
variable_cell_xdatcar(f"{scratch}/XDATCAR_variable", changing)
compare("variable-cell XDATCAR", f"{scratch}/XDATCAR_variable", "xdatcar", changing)

# A deletion in the last frame holds in every frame, read back by ASE.
for name, fmt, ase_format in (("run.xyz", "xyz", "extxyz"), ("XDATCAR", "xdatcar", "vasp-xdatcar"),
                              ("XDATCAR_variable", "xdatcar", "vasp-xdatcar")):
    source, edited = f"{scratch}/{name}", f"{scratch}/{name}_edited"
    kivoa("--format", fmt, "--write", f"{scratch}/{name}_same", source)
    check(f"{name}: unedited save byte for byte",
          open(source, "rb").read() == open(f"{scratch}/{name}_same", "rb").read())
    kivoa("--format", fmt, "--frame", "-1", "--delete", "5", "--write", edited, source)
    before = ase.io.read(source, index=":", format=ase_format)
    after = ase.io.read(edited, index=":", format=ase_format)
    check(f"{name}: frames after the deletion", len(after) == len(before))
    for k, (b, a) in enumerate(zip(before, after)):
        del b[5]
        check(f"{name} frame {k}: atoms after the deletion",
              a.get_chemical_symbols() == b.get_chemical_symbols() and
              np.allclose(a.positions, b.positions, atol=1e-6))

finish()
