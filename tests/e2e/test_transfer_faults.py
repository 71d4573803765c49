"""Faults during the installer's transfer and at its local path: whatever
happens the agent exits quietly with 0, starts nothing half-written, leaves
nothing half-written at the installer's path, and keeps an earlier good file."""

import pytest

from vendor_server import Response

VERSION = "/brenwick/version.txt"
INSTALLER = "/brenwick/update.exe"
EARLIER = b"MZ an earlier, complete installer"


def run_with_earlier_installer(machine, server, installer_response):
    machine.installer_file.write_bytes(EARLIER)
    server.serve(VERSION, Response("file", b"3.1.0.5\n"))
    server.serve(INSTALLER, installer_response)
    run = machine.run_agent()
    assert (run.returncode, run.stdout, run.stderr) == (0, "", "")
    assert server.request_paths() == [VERSION, INSTALLER]
    assert [p.name for p in machine.prefix.temp_unix.iterdir()
            if p.name.endswith(".partial")] == []


@pytest.mark.parametrize("response", [
    Response("stall", b"MZ" + bytes(300_000), cut_after=100_000, stall_seconds=3),
    Response("reset", b"MZ" + bytes(300_000)),
    Response("cut", b"MZ" + bytes(300_000), cut_after=1),
], ids=["stalls-then-closes", "reset-after-headers", "closes-after-one-byte"])
def test_broken_transfer_keeps_the_earlier_file(machine, server, response):
    run_with_earlier_installer(machine, server, response)
    assert machine.wait_for_installer() is None
    assert machine.installer_file.read_bytes() == EARLIER


def test_many_tiny_chunks_arrive_whole(machine, server, installer_bytes):
    run_with_earlier_installer(machine, server,
                               Response("chunked", installer_bytes, chunk_size=7))
    assert machine.installer_file.read_bytes() == installer_bytes
    assert machine.wait_for_installer() is not None


# A file that cannot be replaced is never believed: an installer held open
# is not started, and a version file held open (here planted, asking for an
# update, and shared with all but deletion) is not read over what arrived.
@pytest.mark.parametrize("held, share, published", [
    ("installer", 0, b"3.1.0.5\n"),
    ("version", 3, b"3.0.2.1\n"),  # FILE_SHARE_READ | FILE_SHARE_WRITE
])
def test_a_file_held_open_by_another_program(machine, server, installer_bytes,
                                             held, share, published):
    machine.installer_file.write_bytes(EARLIER)
    machine.version_file.write_bytes(b"99.0\n")
    path = machine.installer_file if held == "installer" else machine.version_file
    holder = machine.hold("file", machine.prefix.to_windows(path), share)
    try:
        server.serve(VERSION, Response("file", published))
        server.serve(INSTALLER, Response("file", installer_bytes))
        run = machine.run_agent()
        assert (run.returncode, run.stdout, run.stderr) == (0, "", "")
        assert server.request_paths() == (
            [VERSION, INSTALLER] if held == "installer" else [VERSION])
        assert machine.wait_for_installer() is None
        assert machine.installer_file.read_bytes() == EARLIER
        assert machine.version_file.read_bytes() == (
            published if held == "installer" else b"99.0\n")
        assert [p.name for p in machine.prefix.temp_unix.iterdir()
                if p.name.endswith(".partial")] == []
    finally:
        holder.kill()
        holder.wait()


def test_installer_path_is_a_folder(machine, server, installer_bytes):
    machine.installer_file.mkdir()
    server.serve(VERSION, Response("file", b"3.1.0.5\n"))
    server.serve(INSTALLER, Response("file", installer_bytes))
    run = machine.run_agent()
    assert (run.returncode, run.stdout, run.stderr) == (0, "", "")
    assert machine.wait_for_installer() is None
    assert machine.installer_file.is_dir()
    assert sorted(p.name for p in machine.prefix.temp_unix.iterdir()) == [
        "bw_update.exe", "latest_version"]

