"""A throwaway Wine prefix that runs Windows programs for the end-to-end tests.

Its wineserver is kept running for the prefix's whole life: starting a new one
counts as a restart of Windows, which carries out (and forgets) the deletions
registered for the next reboot that the tests want to read."""

import dataclasses
import os
import pathlib
import re
import shutil
import subprocess
import time

WINE_DIR = pathlib.Path(os.environ.get("WINE_DIR", "/usr/lib/wine"))
SESSION_MANAGER = r"HKLM\System\CurrentControlSet\Control\Session Manager"


# Wine stores nothing in its event log, but with this WINEDEBUG it prints each
# ReportEventW call (its type and ID) and then each of its strings.
EVENT_LOG_DEBUG = "+eventlog"
_REPORT = re.compile(r"fixme:advapi:ReportEventW \((\w+),0x(\w+),0x(\w+),0x(\w+),\w+,0x(\w+),")
_STRING = re.compile(r':(?:err|warn|trace):eventlog:ReportEventW L"(.*)"$')
_ESCAPE = re.compile(r"\\(?:([0-9a-fA-F]{4})|(.))")
_ESCAPED = {"n": "\n", "t": "\t", "r": "\r"}
EVENT_TYPES = {1: "error", 2: "warning", 4: "information"}


@dataclasses.dataclass
class Event:
    type: str
    id: int
    strings: list


def reported_events(debug_output):
    """The events a program reported, from its output under EVENT_LOG_DEBUG."""
    events = []
    for line in debug_output.splitlines():
        report = _REPORT.search(line)
        if report:
            events.append(Event(EVENT_TYPES.get(int(report[2], 16), report[2]),
                                int(report[4], 16), []))
            continue
        text = _STRING.search(line)
        if text and events:
            events[-1].strings.append(_ESCAPE.sub(
                lambda m: chr(int(m[1], 16)) if m[1] else _ESCAPED.get(m[2], m[2]), text[1]))
    return events


class Run:
    def __init__(self, returncode, stdout, stderr, ended_at):
        self.returncode = returncode
        self.stdout = stdout
        self.stderr = stderr
        self.ended_at = ended_at  # time.time() when the program had exited


class WinePrefix:
    def __init__(self, path, loader=None):
        self.path = pathlib.Path(path).resolve()
        self.loader = loader or str(WINE_DIR / "wine64")
        server = WINE_DIR / "wineserver"
        self.server = str(server if server.exists() else shutil.which("wineserver"))
        self.env = dict(os.environ, WINEPREFIX=str(self.path), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self._log_count = 0

    def create(self, fresh=True):
        """Creates the prefix, or with fresh=False takes it as it stands."""
        if fresh:
            shutil.rmtree(self.path, ignore_errors=True)
            self.path.mkdir(parents=True)
        # A taken prefix may still be running from an earlier session (exit 2).
        subprocess.run([self.server, "-p"], env=self.env, check=fresh)
        if fresh:
            self.run(["wineboot", "-i"], timeout=300)
        # A 32-bit program on 64-bit Windows sees its machine in the second
        # variable; a 32-bit Windows has none there.
        answer = self.run(["cmd", "/c", "echo %TEMP%;%PROCESSOR_ARCHITECTURE%;%PROCESSOR_ARCHITEW6432%"])
        self.temp_windows, *architectures = answer.stdout.strip().split(";")
        self.is_64bit = "AMD64" in architectures
        self.temp_unix = pathlib.Path(self.run(["winepath", "-u", self.temp_windows]).stdout.strip())
        # Paths outside the prefix are named through drive Z:, which Wine
        # maps to the Unix root.
        if os.path.realpath(self.path / "dosdevices" / "z:") != "/":
            raise RuntimeError(f"drive Z: of {self.path} is not the Unix root")
        # The tests empty this folder before each case: it must be the
        # prefix's own temporary folder and nothing else.
        if not (self.temp_windows and self.temp_unix.is_absolute()
                and self.path in self.temp_unix.parents and self.temp_unix.is_dir()):
            raise RuntimeError(f"no usable temporary folder in {self.path}: "
                               f"{self.temp_windows!r} -> {str(self.temp_unix)!r}")
        return self

    def close(self):
        subprocess.run([self.server, "-k"], env=self.env)

    def run(self, args, extra_env=None, timeout=120):
        """Runs a Windows program to its exit; its output goes through files,
        since Wine's helper processes inherit (and hold open) a pipe."""
        self._log_count += 1
        out = self.path / f"run{self._log_count}.out"
        err = self.path / f"run{self._log_count}.err"
        with open(out, "wb") as stdout, open(err, "wb") as stderr:
            completed = subprocess.run([self.loader, *map(str, args)], stdin=subprocess.DEVNULL,
                                       stdout=stdout, stderr=stderr, timeout=timeout,
                                       env=dict(self.env, **(extra_env or {})))
        ended_at = time.time()
        return Run(completed.returncode, out.read_text(errors="replace"),
                   err.read_text(errors="replace"), ended_at)

    def start(self, args, extra_env=None):
        """Starts a Windows program and returns at once (a Popen, whose
        `output` is the path of the file its stdout and stderr go to)."""
        self._log_count += 1
        log = self.path / f"run{self._log_count}.log"
        with open(log, "wb") as output:
            process = subprocess.Popen([self.loader, *map(str, args)], stdin=subprocess.DEVNULL,
                                       stdout=output, stderr=output,
                                       env=dict(self.env, **(extra_env or {})))
        process.output = log
        return process

    @staticmethod
    def to_windows(unix_path):
        return "Z:" + str(pathlib.Path(unix_path).resolve()).replace("/", "\\")

    # --- The registry, through Wine's own reg.exe.

    def reg_get(self, key, name):
        """The value's data as reg.exe prints it, or None when it is missing."""
        result = self.run(["reg", "query", key, "/v", name])
        for line in result.stdout.splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[0] == name:
                return parts[2] if len(parts) == 3 else ""
        return None

    def reg_import(self, lines):
        """Applies the lines of a .reg file (after its header) in one go."""
        self._log_count += 1
        reg_file = self.path / f"import{self._log_count}.reg"
        text = "\r\n".join(["Windows Registry Editor Version 5.00", "", *lines, ""])
        reg_file.write_text(text, encoding="utf-16")
        self._reg("import", self.to_windows(reg_file))

    def _reg(self, *args):
        result = self.run(["reg", *args])
        assert result.returncode == 0, result.stdout + result.stderr

    def pending_deletions(self):
        """Windows paths registered for deletion at the next reboot."""
        value = self.reg_get(SESSION_MANAGER, "PendingFileRenameOperations")
        if not value:
            return []
        items = value.split(r"\0")
        pairs = zip(items[0::2], items[1::2] + [""])
        return [source.removeprefix("\\??\\") for source, target in pairs if source and not target]

    CLEAR_PENDING_DELETIONS = [f"[{SESSION_MANAGER.replace('HKLM', 'HKEY_LOCAL_MACHINE')}]",
                               '"PendingFileRenameOperations"=-']
