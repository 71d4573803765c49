"""The whole update cycle with the product's real installer: an Inno Setup
installer (compiled when the guest image is made) installs the product, the
agent updates it silently, and the next run finds it up to date."""

import os
import pathlib
import time

import pytest

from conftest import INSTALLER_PROGRAMS, running, wait_until_ended
from vendor_server import Response

INNO_DIR = os.environ.get("E2E_INNO_DIR")
pytestmark = [
    pytest.mark.windows_kind,
    pytest.mark.skipif(not INNO_DIR, reason="needs the real installers of the guest image"),
]
OLD, NEW = "3.0.2.1", "3.1.0.5"
SILENT = ["/SP-", "/VERYSILENT", "/NOICONS", "/NOCANCEL", "/NORESTART", "/SUPPRESSMSGBOXES"]


def real_installer(version):
    return pathlib.Path(INNO_DIR) / f"bw_product-{version}.exe"


def update_finished(machine, timeout=300):
    """Waits until the update's installer has written the end of its log and
    it and its helper processes have exited."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        logs = sorted(machine.prefix.temp_unix.glob("Setup Log*.txt"))
        if len(logs) >= 2 and "Log closed." in logs[-1].read_text(errors="replace"):
            return wait_until_ended(INSTALLER_PROGRAMS, deadline - time.time())
        time.sleep(0.2)
    return False


def setup_logs(machine):
    """The installers' own logs, which say why an install failed."""
    logs = sorted(machine.prefix.temp_unix.glob("Setup Log*.txt"))
    return "\n".join(f"--- {log.name}\n{log.read_text(errors='replace')}" for log in logs)


def test_a_real_inno_setup_product_is_updated_then_up_to_date(machine, server):
    program_files = "Program Files (x86)" if machine.prefix.is_64bit else "Program Files"
    product_dir = machine.prefix.path / "drive_c" / program_files / "Brenwick Test Product"

    # The installed product: 3.0.2.1, put there by its own installer.
    machine.install(None)
    assert machine.prefix.run([real_installer(OLD), *SILENT], timeout=300).returncode == 0, \
        setup_logs(machine)
    assert machine.installed_version() == OLD, setup_logs(machine)

    # Run 1: the agent starts the real 3.1.0.5 installer, which finishes
    # without a word and records the new version where the agent reads it.
    server.serve("/brenwick/version.txt", Response("file", f"{NEW}\r\n".encode()))
    server.serve("/brenwick/update.exe", Response("file", real_installer(NEW).read_bytes()))
    run = machine.run_agent()
    assert (run.returncode, run.stdout, run.stderr) == (0, "", "")
    assert server.request_paths() == ["/brenwick/version.txt", "/brenwick/update.exe"]
    assert update_finished(machine), "the installer did not finish: " + setup_logs(machine)
    assert running(INSTALLER_PROGRAMS) == [], setup_logs(machine)
    assert machine.installed_version() == NEW, setup_logs(machine)
    assert (product_dir / "product.txt").is_file(), setup_logs(machine)
    uninstaller = machine.prefix.reg_get(machine.product_key, "UninstallString")
    assert uninstaller and uninstaller.strip('"').lower().endswith("unins000.exe")
    assert (product_dir / "unins000.exe").is_file()
    # The update's own log: started from the agent's copy, with its switches.
    update_log = sorted(machine.prefix.temp_unix.glob("Setup Log*.txt"))[-1].read_text(errors="replace")
    assert "bw_update.exe" in update_log and " ".join(SILENT) in update_log, update_log

    # Run 2: up to date, one request, nothing started.
    logs = len(list(machine.prefix.temp_unix.glob("Setup Log*.txt")))
    server.reset()
    server.serve("/brenwick/version.txt", Response("file", f"{NEW}\r\n".encode()))
    run = machine.run_agent()
    assert (run.returncode, run.stdout, run.stderr) == (0, "", "")
    assert server.request_paths() == ["/brenwick/version.txt"]
    assert running(INSTALLER_PROGRAMS) == [], setup_logs(machine)
    assert len(list(machine.prefix.temp_unix.glob("Setup Log*.txt"))) == logs
