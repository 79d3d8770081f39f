#!/usr/bin/env python3
"""End-to-end tests of the lookups on the real Verdalo.exe, through the UI test driver,
against the mock services. Run inside tests/e2e/netns.sh (see lookup_e2e.sh):

    lookup_e2e.py <Verdalo.exe> <verdalo_driver.exe> <test name>
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "mock"))
import mock_services as mock  # noqa: E402
from verdalo_e2e import Program, host, mock_control, mock_rule, requests, wait_until  # noqa: E402

ECHO_TEXT = "您的IP是：[127.0.0.1] 来自：本机回环"
NOT_CONNECTED = "本机没有连接到网络,请退出连接网络后操作!"
KEYWORDS = "北京 电信"
ENCODED = "/ip.php?%E5%8C%97%E4%BA%AC%20%E7%94%B5%E4%BF%A1"
NOWHERE_KEYWORDS = mock.NOWHERE + " 电信"
NOWHERE_ENCODED = "/ip.php?%E7%81%AB%E6%98%9F%20%E7%94%B5%E4%BF%A1"

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL: " + what, flush=True)


def location_paths():
    return [r["path"] for r in requests(host("location"), "/ips138.asp")]


def location_path(address):
    return "/ips138.asp?ip=%s&action=2" % address


def single_answer(address):
    return "本站主数据：%s\r\n参考数据一：参考%s" % (mock.location_text(address), address)


def in_flight():
    """(location requests under way now, the most at once so far) as the mock counts them."""
    now, most = mock_control("/__mock/inflight").split()
    return int(now), int(most)


def ended(process, seconds=10):
    """Whether the process has ended within `seconds`."""
    try:
        process.wait(timeout=seconds)
        return True
    except subprocess.TimeoutExpired:
        return False


def batch_to_end(p, rows, seconds=60):
    """Starts a batch on a list that holds `rows` rows and waits for its final status once
    the mock has its answers out; returns that status and the requests the run made."""
    before = len(location_paths())
    p.cmd("toolbar 0")
    done = wait_until(lambda: p.status(1).startswith("查询完毕") and in_flight()[0] == 0 and
                      all(p.cmd("cell %d 1" % r) for r in (0, rows - 1)), seconds)
    check(done, "the batch did not end: " + p.status(1))
    return p.status(1), len(location_paths()) - before


def test_single_query(p):
    p.cmd("set-text 编辑框_IP地址 1.2.3.4")
    p.cmd("set-text 编辑框_结果 旧内容")
    p.cmd("click 按钮_单一查询")
    # Watch panel 1 while the query runs: the texts seen must come in the program's order,
    # and once "查询完毕!" shows the result box must already hold the answer.
    order = ["就绪", "正在查询,已查询到1条数据!", "查询完毕!"]
    seen, result_at_end = [], None
    end = time.time() + 20
    while time.time() < end:
        text = p.status(1)
        # The driver reads a panel's length and its text in two steps; a text that changes
        # in between comes back cut short. Such a read counts as the message it begins.
        whole = [t for t in order if t.startswith(text)]
        if text not in order and len(whole) == 1:
            text = whole[0]
        if not seen or seen[-1] != text:
            seen.append(text)
        if text == "查询完毕!":
            result_at_end = p.cmd("get-text 编辑框_结果")
            break
    check(seen[-1] == "查询完毕!", "final status: %r" % seen)
    check([order.index(t) for t in seen if t in order] == sorted(order.index(t) for t in seen if t in order)
          and all(t in order for t in seen), "status order: %r" % seen)
    check(result_at_end == single_answer("1.2.3.4"), "result box: %r" % result_at_end)
    check(location_paths() == [location_path("1.2.3.4")], "requests: %r" % location_paths())


def test_single_queries_in_order(p):
    # Both answers take a while: the second click lands while the first query waits, and
    # the first answer stays in view while the second waits.
    for address in ("1.1.1.1", "2.2.2.2"):
        mock_rule("ip=%s&" % address, "slow", ms=2000, times=1)
    p.cmd("set-text 编辑框_IP地址 1.1.1.1")
    p.cmd("click 按钮_单一查询")
    check(wait_until(lambda: location_paths(), 20), "the first query made no request")
    p.cmd("set-text 编辑框_IP地址 2.2.2.2")
    p.cmd("click 按钮_单一查询")
    for address in ("1.1.1.1", "2.2.2.2"):
        shown = wait_until(lambda: p.cmd("get-text 编辑框_结果") == single_answer(address), 20)
        check(shown, "no answer for %s: %r" % (address, p.cmd("get-text 编辑框_结果")))
        box = p.cmd("get-text 编辑框_IP地址")
        check(box == address, "the answer for %s was shown with %r" % (address, box))
    check(p.wait_status(1, "查询完毕!") == "查询完毕!", "final status: " + p.status(1))
    asked = requests(host("location"), "/ips138.asp")
    check([r["path"] for r in asked] == [location_path("1.1.1.1"), location_path("2.2.2.2")],
          "requests: %r" % [r["path"] for r in asked])
    # One after the other: the second is asked once the first has its answer.
    check(len(asked) == 2 and asked[1]["time"] - asked[0]["time"] > 1.8,
          "the second query did not wait for the first: %r" % [r["time"] for r in asked])


def test_single_query_empty_address(p):
    p.cmd("set-text 编辑框_IP地址 ")
    p.cmd("set-text 编辑框_结果 保留")
    p.cmd("click 按钮_单一查询")
    p.wait_status(1, "没有填写IP地址!")
    check(p.cmd("get-text 编辑框_结果") == "保留", "result box changed")
    check(location_paths() == [], "a request was made: %r" % location_paths())


def test_reverse_search(p):
    p.cmd("set-text 编辑框_实际地址 " + KEYWORDS)
    p.cmd("click 按钮_反向查询")
    final = p.wait_status(1, "查询完毕", 30000)
    expected = mock.expected_rows([KEYWORDS] * mock.PAGES)
    check(final == "查询完毕,共找到%d条数据!" % len(expected), "final status: " + final)
    rows = p.rows()
    check(rows == expected, "rows: %r" % rows)
    paths = [r["path"] for r in requests(host("range"))]
    check(paths == [ENCODED, "/ip-10.0.1.0.htm", ENCODED + "&1", "/ip-10.1.1.0.htm", ENCODED + "&2"],
          "requests: %r" % paths)


def test_reverse_search_stop(p):
    # The first entry with a detail page answers late: the stop lands during it, ends that
    # request at once, and the entry gives no rows.
    mock_rule("/ip-10.0.1.0.htm", "slow", ms=20000, times=1)
    p.cmd("set-text 编辑框_实际地址 " + KEYWORDS)
    p.cmd("click 按钮_反向查询")
    check(wait_until(lambda: requests(host("range"), "/ip-"), 20), "no detail request")
    stopped = time.time()
    p.cmd("toolbar 2")
    final = p.wait_status(1, "查询完毕", 30000)
    took = time.time() - stopped
    check(final == "查询完毕,共找到1条数据!", "final status: " + final)
    check(took < 5, "the search ended %.1f s after the stop" % took)
    rows = p.rows()
    check(rows == mock.expected_rows([KEYWORDS])[:1], "rows: %r" % rows)
    paths = [r["path"] for r in requests(host("range"))]
    check(paths == [ENCODED, "/ip-10.0.1.0.htm"], "requests after the stop: %r" % paths)
    # The stop was used up: a new search runs to its end.
    p.cmd("click 按钮_反向查询")
    final = p.wait_status(1, "查询完毕,共找到9", 30000)
    check(final == "查询完毕,共找到9条数据!", "second search: " + final)


def test_public_address(p):
    shown = p.wait_status(2, "您的IP是", 20000)
    check(shown == ECHO_TEXT, "panel 2: %r" % shown)
    check(len(requests(host("echo"), "/ic.asp")) == 1, "echo requests: %r" % requests(host("echo")))
    check(p.status(1) == "就绪", "panel 1: " + p.status(1))


def test_public_address_silent(p):
    # Set up before the start (see SETUP): the echo page never answers.
    check(wait_until(lambda: requests(host("echo"), "/ic.asp"), 20), "no echo request")
    check(p.status(2) == "正在获取...", "panel 2 while the echo page waits: %r" % p.status(2))
    # The window answers at once meanwhile.
    p.cmd("timeout 2000")
    started = time.time()
    p.cmd("set-text 编辑框_IP地址 1.2.3.4")
    check(p.cmd("get-text 编辑框_IP地址") == "1.2.3.4", "the address box did not take the text")
    check(p.status(1) == "就绪", "panel 1: " + p.status(1))
    check(time.time() - started < 2, "the window took %.1f s to answer" % (time.time() - started))
    p.cmd("timeout 10000")
    # The close does not wait for the echo page (its receive limit is 30 s).
    started = time.time()
    p.cmd("close-main")
    ok, code = p.ask("wait-exit 8000")
    check(ok, "the program did not end within 8 s of the close: %r" % code)
    print("ended %.2f s after the close" % (time.time() - started))
    check(ended(p.program), "wine process still there")


def test_public_address_not_connected(p):
    shown = p.wait_status(2, "本机没有", 20000)
    check(shown == NOT_CONNECTED, "panel 2: %r" % shown)
    check(requests(host("echo")) == [], "echo host asked: %r" % requests(host("echo")))


def test_batch_misbehaving_service(p):
    rows = [("1.1.1.1", True), ("mock-reset", False), ("mock-404", False), ("2.2.2.2", True),
            ("mock-empty", False), ("mock-nul", False), ("mock-nomarker", False),
            ("mock-big", True), ("mock-slow-800", True), ("3.3.3.3", True)]
    p.import_list([a for a, _ in rows], os.path.join(os.environ["VERDALO_E2E_DIR"], "list.txt"))
    p.cmd("toolbar 0")
    final = p.wait_status(1, "查询完毕", 60000)
    check(final == "查询完毕,共查询出%d条数据!" % len(rows), "final status: " + final)
    want = [(address, mock.location_text(address) if answered else "") for address, answered in rows]
    got = p.rows()
    check(got == want, "rows: %r" % got)


def settle(p, seconds=60):
    """Waits until no run is under way: a final status, nothing in flight and no new
    request, for a second (the driver's reads may overtake clicks it has posted)."""
    end, count, quiet = time.time() + seconds, -1, 0
    while time.time() < end and quiet < 10:
        time.sleep(0.1)
        now = len(location_paths())
        idle = p.status(1).startswith("查询完毕") and in_flight()[0] == 0
        quiet = quiet + 1 if idle and now == count else 0
        count = now
    return quiet >= 10


def test_batch_start_stop_200(p):
    addresses = ["10.9.%d.%d" % (i // 256, i % 256) for i in range(300)]
    p.import_list(addresses, os.path.join(os.environ["VERDALO_E2E_DIR"], "list.txt"))
    mock_control("/__mock/reset-inflight")
    # Answers take a while, so that requests a stop gave up are still at the service when
    # the next run starts.
    mock_rule("/ips138.asp", "slow", ms=100)
    for _ in range(200):
        p.cmd("toolbar 0")
        p.cmd("toolbar 2")
    check(settle(p), "the hammered batch did not come to rest: " + p.status(1))
    mock_control("/__mock/clear")
    # A request given up by a stop may stay open at the service until answered (so under
    # Wine): a new run must not add its own to those.
    most = in_flight()[1]
    check(most <= 4, "location requests at the service at once while hammered: %d" % most)
    # A run to the end asks again for the rows the stops cut short, 4 at a time (its first
    # answers come late, so that its requests meet at the service).
    mock_control("/__mock/reset-inflight")
    mock_rule("ip=10.9.", "slow", ms=300, times=8)
    final, made = batch_to_end(p, len(addresses))
    check(final == "查询完毕,共查询出%d条数据!" % made, "the last run said %s after %d requests"
          % (final, made))
    got = p.rows()
    wrong = [(a, c) for a, c in got if c != mock.location_text(a)]
    check(not wrong and [a for a, _ in got] == addresses,
          "wrong or missing locations: %r" % wrong[:5])
    at_once = in_flight()[1]
    check(at_once <= 4 and (made < 8 or at_once == 4),
          "location requests in flight at once: %d of %d" % (at_once, made))
    print("%d requests, at most %d at once while hammered" % (len(location_paths()), most))


def test_batch_stop_silent_service(p):
    # Row 0 waits on a service that never answers; rows 1 to 4 are answered.
    mock_rule("ip=10.7.0.0&", "silent", times=1)
    addresses = ["10.7.0.%d" % i for i in range(5)]
    p.import_list(addresses, os.path.join(os.environ["VERDALO_E2E_DIR"], "list.txt"))
    p.cmd("toolbar 0")
    check(wait_until(lambda: all(p.cmd("cell %d 1" % r) for r in range(1, 5)), 20),
          "rows 1 to 4 were not answered: %r" % p.rows())
    check(p.status(1) == "正在查询IP地址...", "status while row 0 waits: " + p.status(1))
    stopped = time.time()
    p.cmd("toolbar 2")
    final = p.wait_status(1, "查询完毕", 20000)
    took = time.time() - stopped
    check(final == "查询完毕,共查询出4条数据!", "final status: " + final)
    check(took < 5, "the batch ended %.1f s after the stop" % took)
    want = [(a, mock.location_text(a)) for a in addresses]
    check(p.rows() == [(addresses[0], "")] + want[1:], "rows after the stop: %r" % p.rows())
    # A new start is served and asks again for the row cut short.
    before = len(location_paths())
    p.cmd("toolbar 0")
    check(wait_until(lambda: p.cmd("cell 0 1"), 20), "the new start left row 0 empty")
    final = p.wait_status(1, "查询完毕", 20000)
    check(final == "查询完毕,共查询出1条数据!", "second run: " + final)
    check(p.rows() == want, "rows after the second run: %r" % p.rows())
    check(location_paths()[before:] == [location_path(addresses[0])],
          "the second run asked for: %r" % location_paths()[before:])


def test_stale_stop(p):
    # 停止获取 pressed while nothing runs is forgotten: the next batch and the next reverse
    # search run to their ends.
    addresses = ["10.5.0.%d" % i for i in range(10)]
    p.import_list(addresses, os.path.join(os.environ["VERDALO_E2E_DIR"], "list.txt"))
    p.cmd("toolbar 2")
    p.cmd("toolbar 2")
    final, made = batch_to_end(p, len(addresses))
    check(final == "查询完毕,共查询出10条数据!" and made == 10, "batch: %s, %d requests" % (final, made))
    check(p.rows() == [(a, mock.location_text(a)) for a in addresses], "rows: %r" % p.rows())
    p.cmd("toolbar 2")
    p.cmd("set-text 编辑框_实际地址 " + KEYWORDS)
    p.cmd("click 按钮_反向查询")
    final = p.wait_status(1, "查询完毕,共找到", 30000)
    expected = mock.expected_rows([KEYWORDS] * mock.PAGES)
    check(final == "查询完毕,共找到%d条数据!" % len(expected), "reverse search: " + final)
    check(p.rows() == expected, "rows: %r" % p.rows())


def test_reverse_search_finds_nothing(p):
    addresses = ["10.6.0.%d" % i for i in range(3)]
    p.import_list(addresses, os.path.join(os.environ["VERDALO_E2E_DIR"], "list.txt"))
    batch_to_end(p, len(addresses))
    before = p.rows()
    p.cmd("set-text 编辑框_实际地址 " + NOWHERE_KEYWORDS)
    p.cmd("click 按钮_反向查询")
    final = p.wait_status(1, "查询完毕,共找到", 30000)
    check(final == "查询完毕,共找到0条数据!", "final status: " + final)
    check(p.rows() == before and before == [(a, mock.location_text(a)) for a in addresses],
          "the list changed: %r" % p.rows())
    paths = [r["path"] for r in requests(host("range"))]
    check(paths == [NOWHERE_ENCODED], "requests: %r" % paths)


def test_close_during_batch(p):
    mock_rule("/ips138.asp", "slow", ms=20000)
    addresses = ["10.8.0.%d" % i for i in range(50)]
    p.import_list(addresses, os.path.join(os.environ["VERDALO_E2E_DIR"], "list.txt"))
    p.cmd("toolbar 0")
    check(wait_until(lambda: location_paths(), 20), "no request made")
    started = time.time()
    p.cmd("close-main")
    code = p.ask("wait-exit 10000")
    took = time.time() - started
    # The worker is inside a 20 s request; the process must not wait for it (an idle
    # close takes about 2 s under Wine).
    check(code[0], "the program did not end within 10 s of the close: %r" % (code,))
    check(ended(p.program), "wine process still there")
    print("ended %.2f s after the close" % took)
    # The four requests under way at the close, and nothing after them.
    time.sleep(1)
    check(sorted(location_paths()) == sorted(location_path(a) for a in addresses[:4]),
          "requests: %r" % location_paths())


TESTS = {name[5:]: fn for name, fn in globals().items() if name.startswith("test_")}
# What the mock must do before the program starts.
SETUP = {"public_address_silent": lambda: mock_rule("/ic.asp", "silent")}


def main():
    exe, driver, name = sys.argv[1:4]
    if name not in TESTS:
        print("unknown test %s; known: %s" % (name, " ".join(sorted(TESTS))))
        return 2
    if name in SETUP:
        SETUP[name]()
    with Program(exe, driver) as p:
        if name not in ("public_address_not_connected", "public_address_silent"):
            # Start-up is done when panel 2 has its text; tests begin from there.
            p.wait_status(2, "您的IP是", 30000)
        TESTS[name](p)
    print("%s: %s" % (name, "FAILED" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
