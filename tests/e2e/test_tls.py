"""An agent built for https://HOST:PORT takes files only over TLS, from a server
with a valid certificate for HOST: else nothing starts and no file changes."""

import pytest

from conftest import SERVER_NAME, TLS_PORT
from vendor_server import PORT, Response, VendorServer

pytestmark = pytest.mark.skipif(not TLS_PORT, reason="needs an agent built for https://")


@pytest.mark.parametrize("certificate, redirect, updates", [
    ("tls-good", None, True),
    ("tls-good", "https", True),  # to another TLS server, itself checked
    ("tls-wrong-name", None, False),
    ("tls-expired", None, False),
    ("tls-untrusted-root", None, False),
    ("tls-good", "http", False),  # out of TLS
])
def test_only_a_valid_certificate_for_the_host(machine, pki, certificate, redirect, updates):
    machine.version_file.write_bytes(b"3.1.0.5\n")
    machine.installer_file.write_bytes(b"MZ earlier")
    first = last = VendorServer(port=TLS_PORT, tls=pki[certificate]).start()
    if redirect:
        last = VendorServer(port=TLS_PORT + 1 if redirect == "https" else PORT,
                            tls=redirect == "https" and pki["tls-good"]).start()
    try:
        for path, body in [("/brenwick/version.txt", b"3.1.0.6\n"),
                           ("/brenwick/update.exe", pki["signed"].read_bytes())]:
            last.serve(path, Response("file", body))
            if redirect:
                where = f"{redirect}://{SERVER_NAME}:{last.port}{path}"
                first.serve(path, Response("redirect", location=where))
        run = machine.run_agent()
    finally:
        for server in {first, last}:
            server.stop()
    assert (run.returncode, run.stdout, run.stderr) == (0, "", "")
    assert (machine.wait_for_installer() is not None) == updates
    assert machine.version_file.read_bytes() == (b"3.1.0.6\n" if updates else b"3.1.0.5\n")
    if not updates:
        assert machine.installer_file.read_bytes() == b"MZ earlier"
        assert sorted(p.name for p in machine.prefix.temp_unix.iterdir()) == [
            "bw_update.exe", "latest_version"]
