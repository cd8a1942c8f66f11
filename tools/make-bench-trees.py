#!/usr/bin/python3
"""Makes the scan bench's synthetic trees from the host side.

Made through Wine, one call at a time, they took over twenty minutes; made
here they take seconds, and the bench reaches them through Wine's Z: drive.
Each tree's layout is defined once, below; scan_bench only checks that a
tree is complete (its .complete marker, written last).

    tools/make-bench-trees.py DIR [FOLDERS [FILES]]    (default 20000 200000)
"""
import math
import os
import shutil
import sys

MARKER = ".complete"


def lcg(seed):
    """The bench's sizes: the usual 32-bit LCG, each value after one step."""
    while True:
        seed = (seed * 1664525 + 1013904223) & 0xFFFFFFFF
        yield seed


def scan_tree(folders, files):
    """20 top-level folders, each with a two-level subtree of folders, the
    files spread evenly over all folders in turn, sizes from the LCG."""
    top = 20
    per_top = max(1, folders // top)
    groups = max(1, int(math.sqrt(per_top)))
    all_folders = []
    for t in range(top):
        top_path = f"top{t}"
        all_folders.append(top_path)
        made, g = 1, 0
        while made < per_top:
            group = f"{top_path}/group{g}"
            all_folders.append(group)
            made += 1
            f = 0
            while f < per_top // groups and made < per_top:
                all_folders.append(f"{group}/folder{f}")
                f += 1
                made += 1
            g += 1
    sizes = lcg(12345)
    listed = [(f"{all_folders[i % len(all_folders)]}/file{i:06d}.dat", next(sizes) % 1000000)
              for i in range(files)]
    return all_folders, listed


def wide_root(folders):
    """`folders` top-level folders of one small file each."""
    names = [f"folder{i}" for i in range(folders)]
    return names, [(f"{name}/file.dat", 1000 + i) for i, name in enumerate(names)]


def flat_folder(files):
    """One folder of `files` empty files."""
    return [], [(f"entry{i:06d}.dat", 0) for i in range(files)]


def make(root, layout):
    """Makes one tree unless it is complete; a tree left incomplete by an
    earlier run is made anew. Files are sparse: the tree costs directory
    entries, not disk space."""
    if os.path.exists(os.path.join(root, MARKER)):
        return
    folders, files = layout()
    print(f"making {len(folders)} folders and {len(files)} files under {root} ...", flush=True)
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    for folder in folders:  # each after its parent
        os.mkdir(os.path.join(root, folder))
    for name, size in files:
        fd = os.open(os.path.join(root, name), os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
        if size:
            os.ftruncate(fd, size)
        os.close(fd)
    open(os.path.join(root, MARKER), "w").close()


def main(argv):
    if len(argv) < 2:
        sys.exit(__doc__.strip().splitlines()[-1].strip())
    base = argv[1]
    folders = int(argv[2]) if len(argv) > 2 else 20000
    files = int(argv[3]) if len(argv) > 3 else 200000
    os.makedirs(base, exist_ok=True)
    # The names scan_bench looks for.
    make(os.path.join(base, f"tolv-bench-{folders}-{files}"), lambda: scan_tree(folders, files))
    make(os.path.join(base, "tolv-bench-wide-10000"), lambda: wide_root(10000))
    make(os.path.join(base, "tolv-bench-flat-100000"), lambda: flat_folder(100000))


if __name__ == "__main__":
    main(sys.argv)
