"""An agent built to require the installer's publisher starts an installer
only when it carries a valid Authenticode signature of that publisher, chained
to a root the machine trusts. Everything else is deleted unstarted and never
registered. Runs against a build with INSTALLER_PUBLISHER set."""

import pytest

import signing
from conftest import PUBLISHER, SWITCHES
from vendor_server import Response

pytestmark = pytest.mark.skipif(not PUBLISHER, reason="needs an agent built with a publisher")
VERSION = "/brenwick/version.txt"
UPDATE = "/brenwick/update.exe"


@pytest.fixture(autouse=True)
def built_for_the_test_signer():
    assert PUBLISHER == signing.PUBLISHER, (
        f"the agent pins {PUBLISHER!r}; the test installers are signed by {signing.PUBLISHER!r}")


def run_with(machine, server, installer):
    server.serve(VERSION, Response("file", b"3.1.0.5\r\n"))
    server.serve(UPDATE, Response("file", installer.read_bytes()))
    run = machine.run_agent()
    assert (run.returncode, run.stdout, run.stderr) == (0, "", "")
    assert server.request_paths() == [VERSION, UPDATE]


def test_an_installer_signed_by_the_publisher_is_started(machine, server, pki):
    # The agent holds the file open, sharing it for reading only, while it
    # starts it: the start works all the same.
    run_with(machine, server, pki["signed"])
    record = machine.wait_for_installer()
    assert record is not None
    assert record["command_line"] == f'"{machine.installer_path_windows}" {SWITCHES}'
    assert machine.installer_file.read_bytes() == pki["signed"].read_bytes()
    assert sorted(machine.prefix.pending_deletions()) == sorted(
        [machine.version_path_windows, machine.installer_path_windows])


@pytest.mark.parametrize("variant", signing.REFUSED)
def test_any_other_installer_is_deleted_unstarted(machine, server, pki, variant):
    run_with(machine, server, pki[variant])
    assert machine.wait_for_installer() is None
    assert not machine.installer_file.exists()
    assert machine.prefix.pending_deletions() == [machine.version_path_windows]
    assert sorted(p.name for p in machine.prefix.temp_unix.iterdir()) == ["latest_version"]
