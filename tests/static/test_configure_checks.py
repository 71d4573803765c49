"""The build settings a vendor chooses are checked when the build is
configured: a value that could not work fails with a message saying why."""

import pathlib
import subprocess

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]


@pytest.mark.parametrize("setting, value, complaint", [
    ("INSTALLER_PUBLISHER", "", None),  # no signature check
    ("INSTALLER_PUBLISHER", "Brenwick Software Ltd", None),
    ("INSTALLER_PUBLISHER", "Société Générale – Ö", None),
    ("INSTALLER_PUBLISHER", "é" * 64, None),  # characters, not bytes
    ("INSTALLER_PUBLISHER", "x" * 65, "at most 64"),
    ("INSTALLER_PUBLISHER", "   ", "blank"),
    ("INSTALLER_PUBLISHER", 'Brenwick "Software"', "quote"),
    ("INSTALLER_PUBLISHER", "Brenwick's", "quote"),
    ("INSTALLER_PUBLISHER", "Brenwick\tSoftware", "control character 9"),
    ("INSTALLER_PUBLISHER", "Brenwick\x7f", "control character 127"),
    ("UPDATE_SERVER", "updates.example.com", "Update server: plain HTTP to updates.example.com on port 8080"),
    ("UPDATE_SERVER", "https://updates.example.com", "Update server: HTTPS to updates.example.com on port 443"),
    ("UPDATE_SERVER", "https://updates.example.com:8443", "Update server: HTTPS to updates.example.com on port 8443"),
    ("UPDATE_SERVER", "updates.example.com:8080", "has a port"),
    ("UPDATE_SERVER", "http://updates.example.com", "give the bare host"),
    ("UPDATE_SERVER", "https://192.0.2.1:8443", "names an IP address"),
    ("UPDATE_SERVER", "https://updates.example.com:65536", "a number from 1 to 65535"),
    ("UPDATE_SERVER", "https://updates.example.com/updates", "has a path"),
    ("UPDATE_SERVER", "https://user@updates.example.com", "has user info"),
    ("EVENT_LOG", "ON", None),
    ("EVENT_LOG", "off", None),
    ("EVENT_LOG", "yes please", "neither ON nor OFF"),
])
def test_settings_are_checked_at_configure_time(setting, value, complaint):
    script = {"INSTALLER_PUBLISHER": "InstallerPublisher", "UPDATE_SERVER": "UpdateServer",
              "EVENT_LOG": "EventLog"}[setting]
    result = subprocess.run(["cmake", f"-D{setting}={value}", "-P", f"cmake/{script}.cmake"],
                            cwd=ROOT, capture_output=True, text=True)
    accepted = complaint is None or complaint.startswith("Update server:")
    assert (result.returncode == 0) == accepted, result.stderr
    assert complaint is None or complaint in " ".join((result.stdout + result.stderr).split())
