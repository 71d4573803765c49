"""Every start of an agent built with EVENT_LOG writes exactly one record to
the Application log, of the right type, whose ID is the outcome and whose
strings carry the facts; an agent built without it writes none. Wine stores
nothing, so the records are read from its debug output."""

import socket
import threading
import time

import pytest

from conftest import EVENT_LOG, PUBLISHER, TIME_LIMITS, TLS_PORT
from vendor_server import Response
from wine_prefix import EVENT_LOG_DEBUG, reported_events

VERSION = "/brenwick/version.txt"
INSTALLER = "/brenwick/update.exe"
built_with_it = pytest.mark.skipif(not (EVENT_LOG and PUBLISHER and TLS_PORT),
                                   reason="needs the hardened build, with the event log")


def run_and_read(machine, timeout=120):
    run = machine.run_agent(debug=EVENT_LOG_DEBUG, timeout=timeout)
    assert run.returncode == 0 and run.stdout == ""
    return reported_events(run.stderr)


def test_without_it_a_start_writes_no_record(machine, server):
    if EVENT_LOG:
        pytest.skip("the agent was built with the event log")
    server.serve(VERSION, Response("file", b"3.0.2.1\n"))
    run = machine.run_agent(debug=EVENT_LOG_DEBUG)
    assert "ReportEventW" not in run.stderr and "RegisterEventSource" not in run.stderr


# Each row: what the server does (None: it is down), the earlier version file,
# then the record: type, ID, and what %1, %2 and %3 hold.
@built_with_it
@pytest.mark.parametrize("version, installer, earlier, record", [
    (b"3.0.2.1\n", None, None,
     ("information", 1, 'published version "3.0.2.1" from the server', "")),
    (b"3.1.0.5\n", "signed", None,
     ("information", 2, 'published version "3.1.0.5" from the server', "")),
    (None, None, b"3.0.2.1\r\n",
     ("warning", 1, 'published version "3.0.2.1" from the earlier version file',
      "The version file was not fetched: WinINet error 12029.")),
    (b"3.1.0.5\n", "cut", None,
     ("warning", 3, '"3.1.0.5" from the server',
      "The installer was not fetched: 1000 of {size} bytes received, HTTP status 200.")),
    (b"3.1.0.5\n", "other-publisher", None,
     ("error", 4, '"3.1.0.5" from the server',
      'The installer was refused: it is not signed by the pinned publisher; its signer is '
      '"Other Software Ltd".')),
    (b"<html>\n", None, None,
     ("warning", 5, 'published version "<html>" from the server', "")),
], ids=["up-to-date", "update-started", "server-down-with-an-earlier-file",
        "installer-cut-short", "installer-refused", "not-a-version"])
def test_each_start_writes_one_record(machine, server, pki, version, installer, earlier, record):
    if earlier:
        machine.version_file.write_bytes(earlier)
    if version is None:
        server.stop()
    else:
        server.serve(VERSION, Response("file", version))
    body = pki["signed" if installer == "cut" else installer or "signed"].read_bytes()
    server.serve(INSTALLER, Response("cut", body, cut_after=1000) if installer == "cut"
                 else Response("file", body))
    [event] = run_and_read(machine)
    kind, number, published, trouble = record
    assert (event.type, event.id) == (kind, number)
    assert published in event.strings[0]
    assert event.strings[1].startswith('installed version "3.0.2.1" from HKEY_LOCAL_MACHINE\\')
    assert machine.product_key.removeprefix("HKEY_LOCAL_MACHINE\\") in event.strings[1]
    assert event.strings[2].strip() == trouble.format(size=len(body))
    assert (machine.wait_for_installer() is not None) == (number == 2)


@built_with_it
def test_a_second_agent_during_a_run_records_that(machine, server, pki):
    installer = pki["signed"].read_bytes()
    server.serve(VERSION, Response("file", b"3.1.0.5\n"))
    gate = threading.Event()  # the installer trickles until the second has ended
    server.serve(INSTALLER, Response("trickle", installer, stall_seconds=0.2, hold=gate))
    first = machine.start_agent(debug=EVENT_LOG_DEBUG)
    try:
        while not server.request_paths():
            time.sleep(0.05)
        second = machine.start_agent(debug=EVENT_LOG_DEBUG)
        assert second.wait(timeout=120) == 0
    finally:
        gate.set()
    assert first.wait(timeout=120) == 0
    [started] = reported_events(first.output.read_text(errors="replace"))
    [other] = reported_events(second.output.read_text(errors="replace"))
    assert (started.type, started.id) == ("information", 2)
    assert (other.type, other.id) == ("information", 6)
    assert machine.wait_for_installer() is not None


@built_with_it
@pytest.mark.skipif(TIME_LIMITS != "short", reason="needs a build with short network time limits")
def test_a_run_that_meets_its_deadline_records_that(machine, server):
    server.stop()  # in its place, a server that takes and never answers
    machine.version_file.write_bytes(b"3.0.2.1\n")
    with socket.create_server(("127.0.0.1", TLS_PORT)):
        started = time.time()
        [event] = run_and_read(machine, timeout=60)
        # 5 + 8 + 5 * 2 s, and at most one network wait (2 s) for the record.
        assert time.time() - started < 23 + 2 + 5
    assert (event.type, event.id) == ("error", 7)
    assert event.strings[0] == "published version unknown"
    assert event.strings[2].strip() == "The run was stopped while fetching the version file."
