"""One full update cycle of the agent under Wine, told in a few lines: a local
vendor server publishes a newer version, the first run updates the product,
the second finds it up to date."""

import pathlib
import shutil
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from conftest import AGENT, INSTALLER, Machine  # noqa: E402
from vendor_server import Response, VendorServer  # noqa: E402
from wine_prefix import WinePrefix  # noqa: E402

PUBLISHED, INSTALLED = "3.1.0.5", "3.0.2.1"


def run_once(machine, server, number):
    server.requests.clear()
    run = machine.run_agent(installs=PUBLISHED)
    served = ", ".join(r.request_line.split()[1] for r in server.requests)
    print(f"Run {number}: the agent exited with code {run.returncode} and printed "
          f"{'nothing' if not (run.stdout or run.stderr) else 'something'}; "
          f"the server served {served or 'nothing'}.")
    record = machine.wait_for_installer()
    if record is None:
        print("       Nothing was started: the product is up to date.")
        return
    shown = "hidden" if record["show_window"] == "0" else f"show state {record['show_window']}"
    print(f"       The installer was started ({shown}) as: {record['command_line']}")
    print(f"       The agent had exited {int(record['finish']) - int(run.ended_at * 1000)} ms "
          "before the installer finished.")
    machine.installer_log.unlink()


def main():
    work = pathlib.Path(tempfile.mkdtemp(prefix="agent-demo-", dir=ROOT / "build"))
    prefix = WinePrefix(work / "prefix")
    server = VendorServer().start()
    try:
        print("Creating a throwaway Windows (Wine) prefix...")
        prefix.create()
        machine = Machine(prefix, work)
        machine.install(INSTALLED)
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
