"""The agent end to end: the real executable under Wine, against a real web
server, with the real registry, shell, temporary folder and delayed deletion."""

import pytest

from conftest import SERVER_NAME, SWITCHES
from vendor_server import Response

VERSION = "/brenwick/version.txt"
INSTALLER = "/brenwick/update.exe"
USER_AGENT = "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; InfoPath.1)"


def assert_quiet_success(run):
    assert run.returncode == 0
    assert run.stdout == ""
    assert run.stderr == ""


@pytest.mark.windows_kind
def test_outdated_machine_is_updated_then_up_to_date(machine, server, installer_bytes):
    server.serve(VERSION, Response("file", b"3.1.0.5\r\n"))
    server.serve(INSTALLER, Response("file", installer_bytes))

    # The installer takes 3 s, and the agent has exited long before it ends.
    run = machine.run_agent(installs="3.1.0.5", installing_ms=3000)
    assert_quiet_success(run)
    assert server.request_paths() == [VERSION, INSTALLER]
    assert machine.installer_file.read_bytes() == installer_bytes
    assert sorted(machine.prefix.pending_deletions()) == sorted(
        [machine.version_path_windows, machine.installer_path_windows])

    record = machine.wait_for_installer()
    assert record["show_window"] == "0"  # SW_HIDE
    assert record["command_line"] == f'"{machine.installer_path_windows}" {SWITCHES}'
    assert run.ended_at * 1000 < int(record["finish"]), "the agent does not wait"
    assert machine.installed_version() == "3.1.0.5"

    # Up to date now: the next run makes one request, starts nothing, and
    # registers nothing that is registered already.
    machine.installer_log.unlink()
    server.reset()
    server.serve(VERSION, Response("file", b"3.1.0.5\r\n"))
    assert_quiet_success(machine.run_agent())
    assert server.request_paths() == [VERSION]
    assert machine.installer_record() is None
    assert sorted(machine.prefix.pending_deletions()) == sorted(
        [machine.version_path_windows, machine.installer_path_windows])


@pytest.mark.windows_kind
@pytest.mark.parametrize("installed, published, updates", [
    ("3.1.0.5", b"3.1.0.5\r\n", False),   # up to date
    ("3.1", b"3.1.0.0\r\n", False),       # equal with missing trailing zeros
    ("3.2", b"3.1.0.5\r\n", False),       # installed is newer
    ("3.0.2.1", b"3.1.0.5\r\n", True),
    (None, b"1.0.0.1\n", True),           # not installed: compared with 1.0.0.0
    (None, b"1.0.0.0\n", False),
], ids=["same", "trailing-zeros", "older-published", "newer-published", "absent-newer",
        "absent-same"])
def test_decision(machine, server, installer_bytes, installed, published, updates):
    machine.install(installed)
    server.serve(VERSION, Response("file", published))
    server.serve(INSTALLER, Response("file", installer_bytes))
    assert_quiet_success(machine.run_agent())
    assert server.request_paths() == ([VERSION, INSTALLER] if updates else [VERSION])
    assert (machine.wait_for_installer() is not None) == updates


@pytest.mark.windows_kind
def test_the_request(machine, server):
    server.serve(VERSION, Response("file", b"3.0.2.1\n"))
    assert_quiet_success(machine.run_agent())
    [request] = server.requests
    assert request.request_line == f"GET {VERSION} HTTP/1.1"
    headers = {name.lower(): value for name, value in request.headers}
    assert headers["host"] == f"{SERVER_NAME}:8080"
    assert headers["user-agent"] == USER_AGENT
    assert headers["pragma"] == "no-cache"
    assert "cookie" not in headers and "authorization" not in headers
    assert request.body == b""


@pytest.mark.parametrize("version_response", [
    Response("chunked", b"3.1.0.5\r\n", chunk_size=3),
    Response("redirect", location="/elsewhere/version.txt"),
])
def test_transfer_forms_that_still_deliver(machine, server, installer_bytes, version_response):
    server.serve(VERSION, version_response)
    server.serve("/elsewhere/version.txt", Response("file", b"3.1.0.5\n"))
    server.serve(INSTALLER, Response("chunked", installer_bytes, chunk_size=4000))
    assert_quiet_success(machine.run_agent())
    assert machine.installer_file.read_bytes() == installer_bytes
    assert machine.wait_for_installer() is not None


def test_server_down(machine):
    assert_quiet_success(machine.run_agent())
    assert not machine.version_file.exists()
    assert machine.installer_record() is None


def test_an_error_page_is_no_version_file(machine, server, installer_bytes):
    machine.version_file.write_bytes(b"3.0.2.1\r\n")
    server.serve(VERSION, Response("file", b"404 page not found\n", status=404))
    server.serve(INSTALLER, Response("file", installer_bytes))
    assert_quiet_success(machine.run_agent())
    assert machine.version_file.read_bytes() == b"3.0.2.1\r\n"
    assert server.request_paths() == [VERSION]


def test_empty_version_body_reads_the_earlier_file(machine, server, installer_bytes):
    machine.version_file.write_bytes(b"3.1.0.5\r\n")
    server.serve(VERSION, Response("empty"))
    server.serve(INSTALLER, Response("file", installer_bytes))
    assert_quiet_success(machine.run_agent())
    assert machine.version_file.read_bytes() == b"3.1.0.5\r\n"
    assert server.request_paths() == [VERSION, INSTALLER]
    assert machine.wait_for_installer() is not None


@pytest.mark.parametrize("installer_response", [
    lambda installer: Response("file", installer, status=500),  # whole, but an error
    lambda installer: Response("empty"),
    lambda installer: Response("cut", installer, cut_after=len(installer) // 4),
], ids=["status-500", "empty", "cut"])
def test_broken_installer_downloads_start_nothing(machine, server, installer_bytes,
                                                  installer_response):
    server.serve(VERSION, Response("file", b"3.1.0.5\n"))
    server.serve(INSTALLER, installer_response(installer_bytes))
    assert_quiet_success(machine.run_agent())
    assert server.request_paths() == [VERSION, INSTALLER]
    assert machine.wait_for_installer() is None
    assert not machine.installer_file.exists()
    assert [p.name for p in machine.prefix.temp_unix.iterdir()
            if p.name.endswith(".partial")] == []
