#!/usr/bin/env python3
"""Figures of the whole program, measured side by side in one run inside the namespace
harness against the robustness mock (bench/app_perf.sh runs it):

  - exe size;
  - start-up: from launching wine to the main window with status panel 2 written, beside
    Wine starting and ending a console program (its own floor);
  - batch rows per second through the window at 0 ms and 5 ms service delay, beside a
    sequential curl client (a new connection per request) fetching the same pages;
  - import of a long txt list: time, and the program's peak resident memory with it.

    app_perf.py <Verdalo.exe> <verdalo_driver.exe> [batch rows] [memory rows]
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "e2e"))
sys.path.insert(0, os.path.join(here, "..", "tests", "robust"))
import robust  # noqa: E402
import robust_mock  # noqa: E402
from verdalo_e2e import Program, wine_env  # noqa: E402


def note(text):
    print("  " + text, file=sys.stderr, flush=True)


def startup_seconds(exe, driver):
    """Launch to the main window showing panel 2's answer, by a driver already running."""
    d = subprocess.Popen(["wine", driver], env=wine_env(), stdin=subprocess.PIPE,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                         encoding="utf-8", bufsize=1)
    d.stdin.write("running\n")
    d.stdin.flush()
    d.stdout.readline()  # the driver is up before the clock starts
    started = time.time()
    prog = subprocess.Popen(["wine", exe], env=wine_env(), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    d.stdin.write("wait-status 2 您的IP是 60000\n")
    d.stdin.flush()
    answer = d.stdout.readline()
    took = time.time() - started
    d.stdin.write("kill-main\n")
    d.stdin.flush()
    d.stdout.readline()
    d.stdin.close()
    d.wait(timeout=20)
    prog.wait(timeout=20)
    if not answer.startswith("ok"):
        raise RuntimeError("start-up: " + answer)
    return took


def wine_floor_seconds():
    started = time.time()
    subprocess.run(["wine", "cmd.exe", "/c", "exit"], env=wine_env(), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60, check=True)
    return time.time() - started


def curl_rate(addresses):
    with tempfile.NamedTemporaryFile("w", suffix=".curl", delete=False) as f:
        for a in addresses:
            f.write('url = "http://%s/ips138.asp?ip=%s&action=2"\noutput = "/dev/null"\n'
                    % (os.environ["VERDALO_LOCATION_HOST"], a))
    try:
        started = time.time()
        subprocess.run(["curl", "-s", "-H", "Connection: close", "--noproxy", "*", "--config", f.name],
                       check=True, timeout=600)
        return len(addresses) / (time.time() - started)
    finally:
        os.unlink(f.name)


def batch_rate(p, addresses):
    """Rows per second of one batch over freshly imported rows, through the window."""
    robust.import_list(p, robust.write_list(addresses, "bench-batch.txt"), len(addresses))
    started = time.time()
    p.cmd("toolbar 0")
    final = p.cmd("wait-status 1 查询完毕 600000")
    took = time.time() - started
    if final != "查询完毕,共查询出%d条数据!" % len(addresses):
        raise RuntimeError("batch: " + final)
    return len(addresses) / took


def main():
    exe, driver = sys.argv[1:3]
    batch_rows = int(sys.argv[3]) if len(sys.argv) > 3 else 1000
    memory_rows = int(sys.argv[4]) if len(sys.argv) > 4 else 100000
    table = []

    table.append(("exe size", "%.0f KB" % (os.path.getsize(exe) / 1024), "", ""))

    note("start-up, 3 runs each")
    floor = statistics.median(wine_floor_seconds() for _ in range(3))
    ours = statistics.median(startup_seconds(exe, driver) for _ in range(3))
    table.append(("start-up to main window + panel 2", "%.2f s" % ours,
                  "wine cmd /c exit %.2f s" % floor, "%.2f" % (ours / floor)))

    with Program(exe, driver) as p:
        p.wait_status(2, "您的IP是", 30000)
        for delay in (0, 5):
            robust.control("/__robust/delay?ms=%d" % delay)
            note("batch of %d rows at %d ms, and curl" % (batch_rows, delay))
            offset = 200000 + delay * 10000
            addresses = [robust_mock.address_of(offset + r) for r in range(batch_rows)]
            rate = batch_rate(p, addresses)
            peer = curl_rate([robust_mock.address_of(offset + 5000 + r) for r in range(batch_rows)])
            table.append(("batch rows/s, %d ms delay" % delay, "%.1f" % rate,
                          "curl sequential %.1f" % peer, "%.2f" % (rate / peer)))

        note("import of %d rows with memory samples" % memory_rows)
        addresses = [robust_mock.address_of(r) for r in range(memory_rows)]
        path = robust.write_list(addresses, "bench-memory.txt")
        rows = {"n": 0}
        with robust.MemoryWatch(p.program.pid, lambda: rows["n"], period=1.0) as memory:
            before = memory.samples[0][2] if memory.samples else robust.rss_kb(memory.pid)
            started = time.time()
            p.set_text("编辑框_文件位置", robust.windows_path(path))
            p.cmd("click 按钮_导入")
            robust.poll(lambda: p.status(1) == "导入txt完毕!", 7200, 2.0)
            took = time.time() - started
            rows["n"] = int(p.cmd("rows"))
            time.sleep(2)
        if rows["n"] != memory_rows:
            raise RuntimeError("import gave %d rows" % rows["n"])
        table.append(("import of %d txt rows" % memory_rows, "%.1f s" % took,
                      "%.0f rows/s" % (memory_rows / took), ""))
        table.append(("peak memory with %d rows" % memory_rows, "%.1f MB" % (memory.peak() / 1024),
                      "before import %.1f MB" % (before / 1024), ""))

    width = [max(len(r[i]) for r in table) for i in range(4)]
    print("%-*s  %*s  %-*s  %s" % (width[0], "figure", width[1], "verdalo", width[2], "peer", "ratio"))
    for r in table:
        print("%-*s  %*s  %-*s  %s" % (width[0], r[0], width[1], r[1], width[2], r[2], r[3]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
