"""A test PKI, made at test time with openssl and osslsigncode (no key is ever
committed), and the test installer signed every way the agent must tell apart.

    python3 signing.py INSTALLER OUTDIR     makes OUTDIR/<variant>.exe and root.der

Variants: "signed" (by the publisher, from the trusted test root) is the only
one a build pinned to PUBLISHER may start; the others must be refused. TLS
server certificates: OUTDIR/tls-<variant>.pem, only "tls-good" valid."""

import pathlib
import shutil
import struct
import subprocess
import sys

PUBLISHER = "Brenwick Software Ltd"
SERVER_NAME = "updates.brenwick.example"
EXPIRED = ("-startdate", "20200101000000Z", "-enddate", "20210101000000Z")
REFUSED = ["unsigned", "changed-after-signing", "other-publisher", "untrusted-root",
           "untrusted-root-embedded", "expired", "self-signed"]

CA_CONFIG = """
[ca]
default_ca = test_ca
[test_ca]
dir = {dir}
database = $dir/index.txt
new_certs_dir = $dir
serial = $dir/serial
default_md = sha256
policy = any_name
x509_extensions = code_signing
unique_subject = no
[any_name]
commonName = supplied
[code_signing]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
"""


def _openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True, capture_output=True)


def _root(name, cwd):
    _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "3650",
             "-keyout", f"{name}.key", "-out", f"{name}.crt", "-subj", f"/CN=Brenwick Test {name}",
             "-addext", "basicConstraints=critical,CA:true",
             "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=cwd)
    (cwd / f"{name}.index.txt").write_text("")
    (cwd / f"{name}.serial").write_text("1000\n")
    config = CA_CONFIG.format(dir=cwd).replace("$dir/index.txt", f"$dir/{name}.index.txt") \
                                      .replace("$dir/serial", f"$dir/{name}.serial")
    (cwd / f"{name}.cnf").write_text(config)


def _leaf(name, common_name, root, cwd, dates=("-days", "365"), server=False):
    _openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}.key",
             "-out", f"{name}.csr", "-subj", f"/CN={common_name}", cwd=cwd)
    extensions = []
    if server:  # for the DNS name common_name
        (cwd / f"{name}.ext").write_text(f"subjectAltName = DNS:{common_name}\n")
        extensions = ["-extfile", f"{name}.ext"]
    _openssl("ca", "-batch", "-notext", "-config", f"{root}.cnf", "-cert", f"{root}.crt",
             "-keyfile", f"{root}.key", "-in", f"{name}.csr", "-out", f"{name}.crt", *dates,
             *extensions, cwd=cwd)


def _sign(installer, name, out, cwd, embed_root=None):
    args = ["osslsigncode", "sign", "-certs", f"{name}.crt", "-key", f"{name}.key",
            "-h", "sha256", "-in", str(installer), "-out", str(out)]
    if embed_root:
        args[6:6] = ["-ac", f"{embed_root}.crt"]
    subprocess.run(args, cwd=cwd, check=True, capture_output=True)


def _change_one_byte_in_a_section(path):
    data = bytearray(path.read_bytes())
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    first_section = pe + 24 + optional_size
    raw_offset = struct.unpack_from("<I", data, first_section + 20)[0]
    data[raw_offset + 64] ^= 0xFF
    path.write_bytes(bytes(data))


def make_signed_installers(installer, out):
    """Makes every variant of `installer` in the new folder `out`; returns
    {variant: path}, with the trusted root's DER file as "root.der"."""
    out, installer = pathlib.Path(out).resolve(), pathlib.Path(installer).resolve()
    work = out / "pki"
    work.mkdir(parents=True)
    _root("root", work)
    _root("stranger", work)
    _leaf("publisher", PUBLISHER, "root", work)
    _leaf("other", "Other Software Ltd", "root", work)
    _leaf("strangers-publisher", PUBLISHER, "stranger", work)
    _leaf("expired", PUBLISHER, "root", work, dates=EXPIRED)
    _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "365",
             "-keyout", "self.key", "-out", "self.crt", "-subj", f"/CN={PUBLISHER}",
             "-addext", "extendedKeyUsage=codeSigning", cwd=work)
    _openssl("x509", "-in", "root.crt", "-outform", "DER", "-out", str(out / "root.der"), cwd=work)
    for variant, name, root in [("good", SERVER_NAME, "root"), ("expired", SERVER_NAME, "root"),
                                ("wrong-name", "other.brenwick.example", "root"),
                                ("untrusted-root", SERVER_NAME, "stranger")]:
        _leaf(f"tls-{variant}", name, root, work, server=True,
              dates=EXPIRED if variant == "expired" else ("-days", "365"))
        (out / f"tls-{variant}.pem").write_bytes(
            (work / f"tls-{variant}.crt").read_bytes() + (work / f"tls-{variant}.key").read_bytes())

    made = {variant: out / f"{variant}.exe" for variant in ["signed", *REFUSED]}
    shutil.copyfile(installer, made["unsigned"])
    _sign(installer, "publisher", made["signed"], work)
    _sign(installer, "publisher", made["changed-after-signing"], work)
    _change_one_byte_in_a_section(made["changed-after-signing"])
    _sign(installer, "other", made["other-publisher"], work)
    _sign(installer, "strangers-publisher", made["untrusted-root"], work)
    _sign(installer, "strangers-publisher", made["untrusted-root-embedded"], work,
          embed_root="stranger")
    _sign(installer, "expired", made["expired"], work)
    _sign(installer, "self", made["self-signed"], work)
    made["root.der"] = out / "root.der"
    return made


if __name__ == "__main__":
    make_signed_installers(pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2]))
