"""An agent built for https://HOST:PORT takes files only over TLS, from a server
with a valid certificate for HOST: else nothing starts and no file changes."""

import pytest

from conftest import SERVER_NAME, TLS_PORT
from vendor_server import PORT, Response, VendorServer

pytestmark = pytest.mark.skipif(not TLS_PORT, reason="needs an agent built for https://")


@pytest.mark.parametrize("certificate, redirects, updates", [
    ("tls-good", [], True),
    ("tls-good", ["https"], True),  # to another TLS server, itself checked
    ("tls-wrong-name", [], False),
    ("tls-expired", [], False),
    ("tls-untrusted-root", [], False),
    ("tls-good", ["http"], False),  # out of TLS
    ("tls-good", ["http", "https"], False),  # through plain HTTP, back to TLS
], ids=["good", "to-another-tls-server", "wrong-name", "expired", "untrusted-root",
        "to-plain-http", "through-plain-http-back-to-tls"])
def test_only_a_valid_certificate_for_the_host(machine, pki, certificate, redirects, updates):
    machine.version_file.write_bytes(b"3.1.0.5\n")
    machine.installer_file.write_bytes(b"MZ earlier")
    # Each redirect leads to a server of its own: plain HTTP on 8080, or TLS
    # with a good certificate on the next port up.
    servers = [VendorServer(port=TLS_PORT, tls=pki[certificate]).start()]
    for scheme in redirects:
        servers.append(VendorServer(port=TLS_PORT + 1 if scheme == "https" else PORT,
                                    tls=scheme == "https" and pki["tls-good"]).start())
    try:
        for path, body in [("/brenwick/version.txt", b"3.1.0.6\n"),
                           ("/brenwick/update.exe", pki["signed"].read_bytes())]:
            servers[-1].serve(path, Response("file", body))
            for scheme, (here, there) in zip(redirects, zip(servers, servers[1:])):
                here.serve(path, Response("redirect",
                                          location=f"{scheme}://{SERVER_NAME}:{there.port}{path}"))
        run = machine.run_agent()
    finally:
        for server in servers:
            server.stop()
    assert (run.returncode, run.stdout, run.stderr) == (0, "", "")
    assert (machine.wait_for_installer() is not None) == updates
    assert machine.version_file.read_bytes() == (b"3.1.0.6\n" if updates else b"3.1.0.5\n")
    if not updates:
        assert machine.installer_file.read_bytes() == b"MZ earlier"
        assert sorted(p.name for p in machine.prefix.temp_unix.iterdir()) == [
            "bw_update.exe", "latest_version"]
