"""A PDB of several models written by gemmi: kivoa-info must give gemmi's model count and, model
by model, its elements and positions, a model with other atoms included; a deletion saved from
one frame must hold in every model of the same atoms (and no other) when gemmi reads it back.

usage: pdb_gemmi_frames.py KIVOA_INFO SCRATCH_FOLDER
"""
import gemmi
import numpy as np

from kivoa_oracle import check, finish, kivoa, scratch

SYMBOLS = ["C", "O", "N", "C", "H"]


def structure(path):
    """Four models of the same atoms, but model 2 has one more."""
    rng = np.random.default_rng(3)
    st = gemmi.Structure()
    st.cell = gemmi.UnitCell(20, 20, 20, 90, 90, 90)
    st.spacegroup_hm = "P 1"
    for k in range(4):
        residue = gemmi.Residue()
        residue.name, residue.seqid = "MOL", gemmi.SeqId("1")
        for i, symbol in enumerate(SYMBOLS + (["S"] if k == 2 else [])):
            atom = gemmi.Atom()
            atom.name, atom.element = f"{symbol}{i}", gemmi.Element(symbol)
            atom.pos = gemmi.Position(*(rng.uniform(0, 9, 3)))
            residue.add_atom(atom)
        chain = gemmi.Chain("A")
        chain.add_residue(residue)
        model = gemmi.Model(str(k + 1))
        model.add_chain(chain)
        st.add_model(model)
    st.setup_entities()
    st.write_pdb(path)


def models(path):
    return [[(cra.atom.element.name, cra.atom.pos.tolist()) for cra in m.all()] for m in gemmi.read_structure(path)]


source, edited = f"{scratch}/models.pdb", f"{scratch}/models_edited.pdb"
structure(source)
want = models(source)
check("frame count", kivoa("--format", "pdb", source).get("frames") == len(want))
for k in range(-1, len(want)):
    got = kivoa("--format", "pdb", "--atoms", "--frame", str(k), source)
    check(f"frame {k}: symbols", got.get("symbols") == [s.capitalize() for s, _ in want[k]])
    check(f"frame {k}: positions", np.allclose(got.get("positions"), [p for _, p in want[k]], atol=1e-6))

# A model written alone is a whole PDB of its own: one model, its atoms, and the END record.
for k in (0, 2, -1):
    alone = f"{scratch}/model{k}.pdb"
    kivoa("--format", "pdb", "--frame", str(k), "--frame-only", "--write", alone, source)
    got = models(alone)
    check(f"frame {k} alone: ends with END", open(alone).read().splitlines()[-1].rstrip() == "END")
    check(f"frame {k} alone: one model of its atoms", len(got) == 1 and [s for s, _ in got[0]] == [s for s, _ in want[k]]
          and np.allclose([p for _, p in got[0]], [p for _, p in want[k]], atol=1e-6))

kivoa("--format", "pdb", "--write", f"{scratch}/same.pdb", source)
check("unedited save byte for byte", open(source, "rb").read() == open(f"{scratch}/same.pdb", "rb").read())
kivoa("--format", "pdb", "--frame", "-1", "--delete", "1", "--write", edited, source)
after = models(edited)
check("models after the deletion", len(after) == len(want))
for k, (b, a) in enumerate(zip(want, after)):
    if len(b) == len(SYMBOLS):
        del b[1]
    check(f"model {k}: atoms after the deletion", [s for s, _ in a] == [s for s, _ in b] and
          np.allclose([p for _, p in a], [p for _, p in b], atol=1e-6))

finish()
