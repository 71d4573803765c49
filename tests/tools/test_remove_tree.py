"""remove_tree, which the guest build and the test tools delete trees with,
never reaches beyond the tree: not into a folder bind-mounted inside it (as a
killed chroot build leaves the host's /dev), not through a symbolic link, and
not outside the parent it was given."""

import os
import pathlib
import subprocess

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]


def remove_tree(tree, parent, mount_namespace=False):
    command = f'source "{ROOT}/tools/remove_tree.sh" && remove_tree "$1" "$2"'
    args = ["bash", "-c", command, "bash", str(tree), str(parent)]
    return subprocess.run(args, capture_output=True, text=True)


@pytest.fixture
def scratch(tmp_path):
    keep = tmp_path / "keep"
    keep.mkdir()
    (keep / "precious").write_text("keep me")
    tree = tmp_path / "tree"
    (tree / "rootfs" / "dev").mkdir(parents=True)
    (tree / "rootfs" / "file").write_text("tree's own")
    return tmp_path, keep, tree


@pytest.mark.skipif(os.geteuid() != 0, reason="bind mounts need root")
def test_a_bind_mount_inside_the_tree_is_detached_not_emptied(scratch):
    tmp_path, keep, tree = scratch
    # A private mount namespace: nothing leaks to the machine even if this fails.
    script = (f'mount --bind "{keep}" "{tree}/rootfs/dev" && '
              f'source "{ROOT}/tools/remove_tree.sh" && remove_tree "{tree}" "{tmp_path}"')
    result = subprocess.run(["unshare", "--mount", "--propagation", "private", "bash", "-c", script],
                            capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    assert not tree.exists()
    assert (keep / "precious").read_text() == "keep me"


def test_a_link_inside_the_tree_is_removed_not_followed(scratch):
    tmp_path, keep, tree = scratch
    (tree / "rootfs" / "link").symlink_to(keep)
    assert remove_tree(tree, tmp_path).returncode == 0
    assert not tree.exists()
    assert (keep / "precious").read_text() == "keep me"


@pytest.mark.parametrize("tree, parent", [
    ("relative/tree", "{tmp}"),          # not absolute
    ("{tmp}", "{tmp}"),                  # the parent itself
    ("{tmp}/../elsewhere", "{tmp}"),     # outside the parent
    ("{tmp}/tree", "{tmp}/missing"),     # no such parent
    ("", "{tmp}"),                       # an empty path from a broken caller
])
def test_anything_but_a_tree_below_its_parent_is_refused(scratch, tree, parent):
    tmp_path, keep, _ = scratch
    result = remove_tree(tree.format(tmp=tmp_path), parent.format(tmp=tmp_path))
    assert result.returncode != 0
    assert tmp_path.exists() and (keep / "precious").exists()
