"""Fixtures of the end-to-end suite: one Wine prefix per test run, a fresh
vendor server per test, and the agent and test installer under test.

Environment:
  E2E_AGENT       the agent exe (default: the wine-x64 build)
  E2E_INSTALLER   the test installer exe (default: the wine-x64 build)
  E2E_RUNTIME_CHECK  the exception check linked like the agent
  E2E_FILE_HOLDER    holds a file, or a kernel object's name, as others may
  E2E_TRUST_ROOT     makes a root certificate trusted on the machine
  E2E_PUBLISHER      the publisher the agent was built to require, if any
  E2E_SIGNED_DIR     the signed test installers, made already (none: made
                     by the suite)
  E2E_SERVER_NAME    the update server the agent was built for (127.0.0.1)
  E2E_TLS_PORT       its port, when the agent was built for HTTPS
  E2E_PLATFORM    the platform's name in the results (default: wine64 x86_64)
  E2E_WINE        the Wine loader (default: /usr/lib/wine/wine64)
  E2E_PREFIX_READY   an existing prefix to use as it stands (none: a new one)
  E2E_KEEP_RUNNING   leave its Windows running at the end (a later session
                     on the same prefix then needs no restart)
  E2E_WORK        where the prefix and the logs go (default: build/e2e)
  E2E_TIME_LIMITS    "short" when the agent was built with short network
                     time limits (the wine-x64 preset), else the shipped ones
  E2E_EVENT_LOG      "true" when the agent was built with EVENT_LOG
"""

import os
import pathlib
import shutil
import sys
import time

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).parent))
import signing  # noqa: E402
from vendor_server import PORT, VendorServer  # noqa: E402
from wine_prefix import WinePrefix  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parents[2]
AGENT = pathlib.Path(os.environ.get("E2E_AGENT", ROOT / "build/wine-x64/bw_agent.exe"))
INSTALLER = pathlib.Path(os.environ.get("E2E_INSTALLER", ROOT / "build/wine-x64/bw_test_installer.exe"))
RUNTIME_CHECK = pathlib.Path(os.environ.get("E2E_RUNTIME_CHECK",
                                             ROOT / "build/wine-x64/bw_runtime_check.exe"))
FILE_HOLDER = pathlib.Path(os.environ.get("E2E_FILE_HOLDER",
                                           ROOT / "build/wine-x64/bw_file_holder.exe"))
TRUST_ROOT = pathlib.Path(os.environ.get("E2E_TRUST_ROOT", ROOT / "build/wine-x64/bw_trust_root.exe"))
PUBLISHER = os.environ.get("E2E_PUBLISHER", "")
SERVER_NAME = os.environ.get("E2E_SERVER_NAME", "127.0.0.1")
TLS_PORT = int(os.environ.get("E2E_TLS_PORT") or 0)
PLATFORM = os.environ.get("E2E_PLATFORM", "wine64 x86_64")
WORK = pathlib.Path(os.environ.get("E2E_WORK", ROOT / "build/e2e"))
TIME_LIMITS = os.environ.get("E2E_TIME_LIMITS", "shipped")
EVENT_LOG = os.environ.get("E2E_EVENT_LOG") == "true"

# Where a 32-bit installer records the product: the 32-bit view of the
# registry on 64-bit Windows, the native one on 32-bit Windows.
PRODUCT_KEY_WOW64 = (r"HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows\CurrentVersion"
                     r"\Uninstall\3F7A2C91-5B04-4E6D-9C18-A2D4E60B7F35_is1")
PRODUCT_KEY_NATIVE = PRODUCT_KEY_WOW64.replace("\\Wow6432Node", "")
SWITCHES = " /SP- /VERYSILENT /NOICONS /NOCANCEL /NORESTART /SUPPRESSMSGBOXES"


def pytest_configure(config):
    config.addinivalue_line("markers", "windows_kind: depends on the kind of Windows "
                            "(32- or 64-bit), so it runs on both")


def pytest_report_header(config):
    return f"platform: {PLATFORM}; agent: {AGENT}"


def pytest_collection_modifyitems(items):
    for item in items:  # names each result after the platform it ran on
        item._nodeid = f"{item.nodeid} [{PLATFORM}]"


@pytest.fixture(scope="session")
def prefix():
    for exe in (AGENT, INSTALLER, RUNTIME_CHECK, FILE_HOLDER):
        if not exe.exists():
            pytest.fail(f"{exe} is not built")
    ready = os.environ.get("E2E_PREFIX_READY")
    wine = WinePrefix(ready or WORK / "prefix", os.environ.get("E2E_WINE"))
    wine.create(fresh=not ready)
    yield wine
    if not os.environ.get("E2E_KEEP_RUNNING"):  # for a later session's use
        wine.close()


class Machine:
    """The Windows machine of one test: its prefix, its files and registry."""

    def __init__(self, prefix, work):
        self.prefix = prefix
        self.work = work
        self.installer_log = work / "installer.log"
        self.version_file = prefix.temp_unix / "latest_version"
        self.installer_file = prefix.temp_unix / "bw_update.exe"
        self.installer_path_windows = prefix.temp_windows + "\\bw_update.exe"
        self.version_path_windows = prefix.temp_windows + "\\latest_version"
        self.product_key = PRODUCT_KEY_WOW64 if prefix.is_64bit else PRODUCT_KEY_NATIVE

    def install(self, version, clear_pending_deletions=False):
        """Records `version` as installed (None: the product is not), and
        optionally forgets the deletions registered for the next reboot."""
        lines = ([f"[-{self.product_key}]"] if version is None else
                 [f"[{self.product_key}]", f'"DisplayVersion"="{version}"'])
        if clear_pending_deletions:
            lines += self.prefix.CLEAR_PENDING_DELETIONS
        self.prefix.reg_import(lines)

    def installed_version(self):
        return self.prefix.reg_get(self.product_key, "DisplayVersion")

    def run_agent(self, installs="9.9.9.9", timeout=120, installing_ms=None, debug=None):
        """Runs the agent once; `installs` is what the test installer records
        if the agent starts it, after `installing_ms` (default 200); `debug`:
        Wine's WINEDEBUG for it (default: nothing printed)."""
        env = self._installer_env(installs, debug)
        if installing_ms is not None:
            env["BW_TEST_INSTALLER_DELAY_MS"] = str(installing_ms)
        return self.prefix.run([AGENT], extra_env=env, timeout=timeout)

    def start_agent(self, installs="9.9.9.9", debug=None):
        """Starts the agent and returns at once (a Popen)."""
        return self.prefix.start([AGENT], extra_env=self._installer_env(installs, debug))

    def _installer_env(self, installs, debug=None):
        return {"BW_TEST_INSTALLER_LOG": self.prefix.to_windows(self.installer_log),
                "BW_TEST_INSTALL_VERSION": installs, **({"WINEDEBUG": debug} if debug else {})}

    def hold(self, *what):
        """Has another program hold `what` (file PATH [SHARE], or name KIND
        NAME: see file_holder.cc) until the returned process is killed."""
        signal = self.work / f"held-{time.time_ns()}"
        holder = self.prefix.start([FILE_HOLDER, 60, self.prefix.to_windows(signal), *what])
        deadline = time.time() + 30
        while not signal.exists() and holder.poll() is None and time.time() < deadline:
            time.sleep(0.05)
        assert signal.exists(), f"the holder did not take {what} (exit {holder.poll()})"
        return holder

    def installer_record(self):
        """What the test installer recorded, as a dict, or None if it never ran."""
        if not self.installer_log.exists():
            return None
        record = {}
        for line in self.installer_log.read_text(encoding="utf-8").splitlines():
            name, _, value = line.partition(" ")
            record.setdefault(name, value)
        return record

    def wait_for_installer(self, timeout=60):
        """Waits until a started installer has finished and exited."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            record = self.installer_record()
            if record is None or "finish" in record:
                break
            time.sleep(0.1)
        wait_until_ended(INSTALLER_PROGRAMS, deadline - time.time())
        return self.installer_record()


# The started installer, and the copy of itself that an Inno Setup installer
# runs from a temporary folder while it works.
INSTALLER_PROGRAMS = (b"bw_update.exe", b"bw_update.tmp")


def running(programs):
    """The processes running any of `programs`, as "pid: command line". A
    process that Wine has just started may still show the Wine loader first:
    the program follows it."""
    found = []
    for proc in pathlib.Path("/proc").iterdir():
        try:
            arguments = (proc / "cmdline").read_bytes().lower().split(b"\0")
        except OSError:
            continue
        while arguments and pathlib.PurePath(arguments[0].decode(errors="replace")).name.startswith("wine"):
            arguments.pop(0)
        if arguments and arguments[0].endswith(programs):
            found.append(f"{proc.name}: {b' '.join(arguments).decode(errors='replace')}")
    return found


def wait_until_ended(programs, timeout):
    """Waits until no process runs any of `programs`; True if none does."""
    deadline = time.time() + timeout
    while running(programs):
        if time.time() > deadline:
            return False
        time.sleep(0.1)
    return True


@pytest.fixture
def machine(prefix, tmp_path):
    """A machine with the product at 3.0.2.1, an empty temporary folder and
    nothing registered for deletion."""
    for entry in prefix.temp_unix.iterdir():  # a link is removed, not followed
        shutil.rmtree(entry) if entry.is_dir() and not entry.is_symlink() else entry.unlink()
    m = Machine(prefix, tmp_path)
    m.install("3.0.2.1", clear_pending_deletions=True)
    yield m
    m.wait_for_installer()


@pytest.fixture(scope="session")
def pki(prefix, tmp_path_factory):
    """The test PKI, its root trusted here: installers and TLS certificates."""
    folder = pathlib.Path(os.environ.get("E2E_SIGNED_DIR") or tmp_path_factory.mktemp("signed"))
    if not os.environ.get("E2E_SIGNED_DIR"):
        signing.make_signed_installers(INSTALLER, folder)
    assert prefix.run([TRUST_ROOT, prefix.to_windows(folder / "root.der")]).returncode == 0
    return {p.stem: p for p in [*folder.glob("*.exe"), *folder.glob("tls-*.pem")]}


@pytest.fixture
def server(request):
    """The vendor's server, over TLS with a valid certificate for HTTPS builds."""
    tls = request.getfixturevalue("pki")["tls-good"] if TLS_PORT else None
    vendor = VendorServer(port=TLS_PORT or PORT, tls=tls).start()
    yield vendor
    vendor.stop()


@pytest.fixture(scope="session")
def installer_bytes():
    return INSTALLER.read_bytes()
