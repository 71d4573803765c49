"""What others may have prepared: links and stale files planted in the
temporary folder, the run lock's name taken first, a second agent started
during a run, and servers that stall or trickle. The agent writes only files
it created itself, starts the installer at most once, lets nobody but another
run of its own account stop an update, and never hangs."""

import os
import socket
import threading
import time

import pytest

from conftest import TIME_LIMITS
from vendor_server import Response

VERSION = "/brenwick/version.txt"
INSTALLER = "/brenwick/update.exe"
# The final names, and working names as an earlier agent's run (killed while
# downloading) would have left them; each run writes to a name of its own.
NAMES = ["latest_version", "bw_update.exe", "latest_version.partial", "bw_update.exe.partial",
         "latest_version.00000120-0001e240.partial", "bw_update.exe.00000120-0001e240.partial"]
EARLIER = b"MZ an earlier, complete installer"


def quiet(run):
    return (run.returncode, run.stdout, run.stderr) == (0, "", "")


@pytest.mark.parametrize("plant", ["hard link", "symbolic link", "stale file"])
def test_files_planted_in_the_temporary_folder_are_never_written_through(
        machine, server, installer_bytes, plant):
    # Outside the temporary folder, on its file system (hard links need that).
    elsewhere = machine.prefix.path / "elsewhere"
    elsewhere.mkdir(exist_ok=True)
    outside, left = {}, {}
    for name in NAMES:
        target = elsewhere / f"{plant}-{name}"
        target.write_bytes(f"not the agent's: {name}\n".encode())
        outside[target] = target.read_bytes()
        planted = machine.prefix.temp_unix / name
        if plant == "hard link":
            os.link(target, planted)
        elif plant == "symbolic link":
            planted.symlink_to(target)
        else:
            planted.write_bytes(b"MZ half an installer")
        left[planted] = planted.read_bytes()

    server.serve(VERSION, Response("file", b"3.1.0.5\r\n"))
    server.serve(INSTALLER, Response("file", installer_bytes))
    assert quiet(machine.run_agent())
    assert machine.wait_for_installer() is not None, "the update still happens"
    for target, content in outside.items():
        assert target.read_bytes() == content, f"{target.name} was written through"
    # The final names now hold the agent's own files; the rest stand as they were.
    for final, content in [(machine.version_file, b"3.1.0.5\r\n"),
                           (machine.installer_file, installer_bytes)]:
        assert not final.is_symlink() and final.stat().st_nlink == 1
        assert final.read_bytes() == content
        del left[final]
    for planted, content in left.items():
        assert planted.read_bytes() == content
        assert planted.is_symlink() == (plant == "symbolic link")
    assert len(list(machine.prefix.temp_unix.iterdir())) == len(NAMES)


LOCK_NAME = r"Local\BrenwickUpdateAgent-3F7A2C91-5B04-4E6D-9C18-A2D4E60B7F35"


@pytest.mark.parametrize("squatter", ["deny-all", "other-owner", "no-owner", "event", "link"],
                         ids=["deny-all", "other-owner", "no-owner", "an-event", "a-link"])
def test_a_lock_name_taken_by_anything_else_does_not_stop_the_update(
        machine, server, installer_bytes, squatter):
    holder = machine.hold("name", squatter, LOCK_NAME)
    try:
        server.serve(VERSION, Response("file", b"3.1.0.5\r\n"))
        server.serve(INSTALLER, Response("file", installer_bytes))
        assert quiet(machine.run_agent())
        assert machine.wait_for_installer() is not None
    finally:
        holder.kill()
        holder.wait()


def test_a_second_agent_during_a_run_does_nothing(machine, server, installer_bytes):
    server.serve(VERSION, Response("file", b"3.1.0.5\r\n"))
    # The installer trickles in until the second agent has ended, so the two
    # runs overlap however slow the machine.
    gate = threading.Event()
    server.serve(INSTALLER, Response("trickle", installer_bytes, stall_seconds=0.2, hold=gate))
    first = machine.start_agent()
    try:
        while not server.request_paths():
            assert first.poll() is None, "the first agent ended before its first request"
            time.sleep(0.05)
        second = machine.start_agent()
        assert second.wait(timeout=120) == 0
        assert first.poll() is None, "the runs did not overlap"
    finally:
        gate.set()
    assert first.wait(timeout=120) == 0
    assert first.output.read_bytes() == second.output.read_bytes() == b""
    assert server.request_paths().count(INSTALLER) == 1, "the second agent fetched too"

    record = machine.wait_for_installer()
    assert record is not None
    assert machine.installer_log.read_text().count("start ") == 1
    assert machine.installer_file.read_bytes() == installer_bytes
    assert sorted(p.name for p in machine.prefix.temp_unix.iterdir()) == [
        "bw_update.exe", "latest_version"]


limits_short = pytest.mark.skipif(
    TIME_LIMITS != "short", reason="needs a build with short network time limits")


@limits_short
@pytest.mark.parametrize("path, response", [
    (INSTALLER, Response("stall", b"MZ" + bytes(300_000), cut_after=5, stall_seconds=120)),
    (VERSION, Response("stall", b"3.1.0.5\r\n", cut_after=2, stall_seconds=120)),
    (INSTALLER, Response("trickle", b"MZ" + bytes(300_000), chunk_size=1, stall_seconds=0.5)),
    (VERSION, Response("trickle", b"3.1.0.5\r\n" + bytes(100), chunk_size=1, stall_seconds=0.5)),
    (INSTALLER, Response("redirect", location="https://127.0.0.1:8443/")),
], ids=["silent-installer", "silent-version-file", "trickling-installer",
        "trickling-version-file", "installer-behind-a-silent-tls-handshake"])
def test_a_stalling_server_cannot_hold_the_agent(machine, server, installer_bytes, path, response):
    machine.installer_file.write_bytes(EARLIER)
    machine.version_file.write_bytes(b"3.1.0.5\r\n")
    server.serve(VERSION, Response("file", b"3.1.0.5\r\n"))
    server.serve(INSTALLER, Response("file", installer_bytes))
    server.serve(path, response)
    started = time.time()
    with socket.create_server(("127.0.0.1", 8443)):  # takes, never answers
        assert quiet(machine.run_agent(timeout=60))
    # Short builds allow 2 s a socket wait, 5 s for the version file and 8 s
    # for the installer; a TLS handshake outlasts them all, and only the
    # run's deadline, 5 + 8 + 5 * 2 s, ends it.
    elapsed = time.time() - started
    if response.kind == "redirect":
        assert 23 <= elapsed < 33
    else:
        assert elapsed < (25 if path == INSTALLER else 20)
    # The earlier files stay: a version file that did not arrive is read from
    # the earlier copy, an installer that did not arrive is not started.
    assert machine.version_file.read_bytes() == b"3.1.0.5\r\n"
    if path == INSTALLER:
        assert machine.installer_file.read_bytes() == EARLIER
        assert machine.wait_for_installer() is None
    else:
        assert machine.wait_for_installer() is not None
