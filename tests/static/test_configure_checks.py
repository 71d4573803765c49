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
    ("UPDATE_SERVER", "updates.example.com", None),
    ("UPDATE_SERVER", "https://updates.example.com", "has a scheme"),
    ("UPDATE_SERVER", "updates.example.com:8080", "has a port"),
])
def test_settings_are_checked_at_configure_time(setting, value, complaint):
    script = {"INSTALLER_PUBLISHER": "InstallerPublisher", "UPDATE_SERVER": "UpdateServer"}[setting]
    result = subprocess.run(["cmake", f"-D{setting}={value}", "-P", f"cmake/{script}.cmake"],
                            cwd=ROOT, capture_output=True, text=True)
    if complaint is None:
        assert result.returncode == 0, result.stderr
    else:
        assert result.returncode != 0
        assert complaint in " ".join(result.stderr.split())
