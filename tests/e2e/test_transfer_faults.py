"""Faults during the installer's transfer and at its local path: whatever
happens the agent exits quietly with 0, starts nothing half-written, leaves
nothing half-written at the installer's path, and keeps an earlier good file."""

import time

import pytest

from conftest import FILE_HOLDER
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


def test_installer_path_held_open_without_sharing(machine, server, installer_bytes):
    machine.installer_file.write_bytes(EARLIER)
    holder = machine.prefix.start([FILE_HOLDER, machine.installer_path_windows, 20])
    try:
        held = machine.installer_file.with_name("bw_update.exe.held")
        deadline = time.time() + 30
        while not held.exists() and time.time() < deadline:
            time.sleep(0.05)
        assert held.exists(), "the holder did not open the file"
        held.unlink()
        run_with_earlier_installer(machine, server, Response("file", installer_bytes))
        assert machine.wait_for_installer() is None
        assert machine.installer_file.read_bytes() == EARLIER
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

