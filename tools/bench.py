"""Prints the agent's cost as one table, every figure measured in this run
under wine64 against the local test server: installer transfer speed and peak
memory against a plain WinINet baseline (and curl as the machine's ceiling),
the time of an up-to-date run against a do-nothing exe, and the size of the
shipped exe."""

import os
import pathlib
import statistics
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from conftest import Machine  # noqa: E402
from vendor_server import Response, VendorServer  # noqa: E402
from wine_prefix import WinePrefix  # noqa: E402

BUILD = ROOT / "build" / "wine-x64"
PRODUCT = ROOT / "build" / "windows-x86" / "bw_agent.exe"
MB = 1_000_000
RUNS = int(os.environ.get("BENCH_RUNS", "5"))


def transfer(prefix, kind, object_path, local):
    """(MB/s, peak working set in bytes, bytes stored) of one transfer into
    a fresh local path, so no run pays for deleting an earlier run's file."""
    for leftover in prefix.temp_unix.glob("bench_download*"):
        leftover.unlink()
    run = prefix.run([BUILD / "bw_download_bench.exe", kind, object_path, local], timeout=600)
    seconds, size, peak = run.stdout.split()
    assert run.returncode == 0, run.stdout + run.stderr
    return int(size) / MB / float(seconds), int(peak), int(size)


def curl_speed(url):
    out = subprocess.run(["curl", "-s", "-o", "/dev/null", "-w", "%{speed_download}", url],
                         capture_output=True, text=True, check=True).stdout
    return float(out.replace(",", ".")) / MB


def wall_time(prefix, exe, runs=10):
    times = []
    for _ in range(runs):
        started = time.perf_counter()
        prefix.run([exe])
        times.append(time.perf_counter() - started)
    return statistics.median(times)


def main():
    work = ROOT / "build" / "bench"
    prefix = WinePrefix(work / "prefix")
    server = VendorServer().start()
    rows = []
    try:
        prefix.create()
        local = prefix.temp_windows + "\\bench_download"
        sizes = {"/big.exe": 200 * MB, "/small.exe": 20 * MB}
        for path, size in sizes.items():
            server.serve(path, Response("file", os.urandom(size)))

        results = {}
        for _ in range(RUNS):  # interleaved, so drifts of the machine hit both alike
            for path in sizes:
                for kind in ("baseline", "agent"):
                    result = transfer(prefix, kind, path, local)
                    assert result[2] == sizes[path], "incomplete transfer"
                    results.setdefault((kind, path), []).append(result)
        best = {key: (max(r[0] for r in runs), max(r[1] for r in runs))
                for key, runs in results.items()}
        ceiling = max(curl_speed("http://127.0.0.1:8080/big.exe") for _ in range(RUNS))
        ratio = best["agent", "/big.exe"][0] / best["baseline", "/big.exe"][0]
        rows += [
            ("200 MB transfer, baseline WinINet loop", f"{best['baseline', '/big.exe'][0]:.0f} MB/s"),
            ("200 MB transfer, agent's download", f"{best['agent', '/big.exe'][0]:.0f} MB/s"),
            ("agent / baseline throughput", f"{ratio:.2f} (goal >= 0.90)"),
            ("200 MB transfer, curl (ceiling)", f"{ceiling:.0f} MB/s"),
        ]
        for kind in ("baseline", "agent"):
            for path, label in (("/small.exe", "20 MB"), ("/big.exe", "200 MB")):
                rows.append((f"peak memory, {kind}, {label}", f"{best[kind, path][1] / 2**20:.1f} MiB"))
        memory_gap = (best["agent", "/big.exe"][1] - best["baseline", "/big.exe"][1]) / 2**20
        memory_growth = (best["agent", "/big.exe"][1] - best["agent", "/small.exe"][1]) / 2**20
        rows.append(("peak memory, agent - baseline (200 MB)", f"{memory_gap:+.2f} MiB (goal <= 1)"))
        rows.append(("peak memory, agent 200 MB - 20 MB", f"{memory_growth:+.2f} MiB (goal ~0)"))

        machine = Machine(prefix, work)
        machine.install("3.1.0.5")
        server.serve("/brenwick/version.txt", Response("file", b"3.1.0.5\r\n"))
        server.requests.clear()
        agent_time = wall_time(prefix, BUILD / "bw_agent.exe")
        requests_per_run = len(server.requests) / 10
        nothing_time = wall_time(prefix, BUILD / "bw_do_nothing.exe")
        rows += [
            ("up-to-date run, agent (median of 10)", f"{agent_time * 1000:.0f} ms"),
            ("do-nothing exe under Wine (median of 10)", f"{nothing_time * 1000:.0f} ms"),
            ("up-to-date run, agent's own cost", f"{(agent_time - nothing_time) * 1000:+.0f} ms"),
            ("requests per up-to-date run", f"{requests_per_run:g} (goal 1)"),
        ]
    finally:
        server.stop()
        prefix.close()
    size = PRODUCT.stat().st_size
    rows.append(("shipped exe (windows-x86) size", f"{size} bytes (goal <= 65536)"))

    width = max(len(name) for name, _ in rows)
    print(f"{'measure':<{width}}  value")
    for name, value in rows:
        print(f"{name:<{width}}  {value}")


if __name__ == "__main__":
    main()
