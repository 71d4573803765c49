"""One full update cycle of the agent under Wine, told in a few lines: a local
vendor server publishes a newer version, the first run updates the product,
the second finds it up to date. Each run's record in the event log is shown
(the agent is built with EVENT_LOG; Wine prints what Windows would store).

    demo.py               with the built-in version file and test installer
    demo.py RELEASE_DIR   one run against a release as it will be published
                          (RELEASE_DIR/version.txt and RELEASE_DIR/update.exe)
"""

import pathlib
import shutil
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from conftest import AGENT, INSTALLER, Machine  # noqa: E402
from vendor_server import Response, VendorServer  # noqa: E402
from wine_prefix import EVENT_LOG_DEBUG, reported_events, WinePrefix  # noqa: E402

PUBLISHED, INSTALLED = "3.1.0.5", "3.0.2.1"


def show_record(run):
    for event in reported_events(run.stderr):
        print(f"       Its record in the event log: {event.type}, event ID {event.id}:")
        for number, text in enumerate(event.strings, 1):
            if text.strip():
                print(f"         %{number} {text.strip()}")


def run_once(machine, server, number):
    server.requests.clear()
    run = machine.run_agent(installs=PUBLISHED, installing_ms=1500, debug=EVENT_LOG_DEBUG)
    served = ", ".join(r.request_line.split()[1] for r in server.requests)
    print(f"Run {number}: the agent exited with code {run.returncode} and printed "
          f"{'nothing' if not run.stdout else 'something'}; "
          f"the server served {served or 'nothing'}.")
    show_record(run)
    record = machine.wait_for_installer()
    if record is None:
        print("       Nothing was started: the product is up to date.")
        return
    shown = "hidden" if record["show_window"] == "0" else f"show state {record['show_window']}"
    print(f"       The installer was started ({shown}) as: {record['command_line']}")
    print(f"       The agent had exited {int(record['finish']) - int(run.ended_at * 1000)} ms "
          "before the installer finished.")
    machine.installer_log.unlink()


def check_release(machine, server, release):
    """One run against the vendor's own files: what the agent reads and
    whether it stores the installer byte for byte."""
    version_bytes = (release / "version.txt").read_bytes()
    installer_bytes = (release / "update.exe").read_bytes()
    server.serve("/brenwick/version.txt", Response("file", version_bytes))
    server.serve("/brenwick/update.exe", Response("file", installer_bytes))
    print(f"Release {release}: version.txt ({len(version_bytes)} bytes), "
          f"update.exe ({len(installer_bytes)} bytes); installed: {INSTALLED}.")
    if version_bytes.startswith(b"\xef\xbb\xbf"):
        print("  version.txt begins with a byte-order mark: no agent will ever update.")
    run = machine.run_agent(debug=EVENT_LOG_DEBUG)
    show_record(run)
    published = machine.version_file.read_bytes().split(b"\n")[0].split(b"\x1a")[0].strip()
    print(f"  The agent read the published version as {published.decode('latin-1')!r} "
          f"(exit code {run.returncode}).")
    if [r.request_line.split()[1] for r in server.requests][-1] != "/brenwick/update.exe":
        print(f"  It is not newer than {INSTALLED}: the agent would not update.")
        return
    stored = machine.installer_file.read_bytes() if machine.installer_file.exists() else None
    if stored != installer_bytes:
        print("  The agent fetched update.exe but did not keep it: nothing would start.")
        return
    print(f"  Newer than {INSTALLED}: the agent fetched update.exe, kept it byte for byte "
          "and handed it to Windows to start hidden with its silent switches.")


def main():
    release = pathlib.Path(sys.argv[1]).resolve() if len(sys.argv) > 1 else None
    work = pathlib.Path(tempfile.mkdtemp(prefix="agent-demo-", dir=ROOT / "build"))
    prefix = WinePrefix(work / "prefix")
    server = VendorServer().start()
    try:
        print("Creating a throwaway Windows (Wine) prefix...")
        prefix.create()
        machine = Machine(prefix, work)
        machine.install(INSTALLED)
        if release:
            check_release(machine, server, release)
            return
        server.serve("/brenwick/version.txt", Response("file", f"{PUBLISHED}\r\n".encode()))
        server.serve("/brenwick/update.exe", Response("file", INSTALLER.read_bytes()))
        print(f"Vendor server on 127.0.0.1:8080 publishes version {PUBLISHED} and a test installer "
              f"({INSTALLER.stat().st_size} bytes).")
        print(f"Registry before: DisplayVersion = {machine.installed_version()}")
        run_once(machine, server, 1)
        print(f"Registry after:  DisplayVersion = {machine.installed_version()}")
        print("Registered for deletion at the next reboot: "
              + ", ".join(prefix.pending_deletions()))
        run_once(machine, server, 2)
    finally:
        server.stop()
        prefix.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
