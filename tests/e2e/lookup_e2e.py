#!/usr/bin/env python3
"""End-to-end tests of the lookups on the real Verdalo.exe, through the UI test driver,
against the mock services. Run inside tests/e2e/netns.sh (see lookup_e2e.sh):

    lookup_e2e.py <Verdalo.exe> <verdalo_driver.exe> <test name>
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "mock"))
import mock_services as mock  # noqa: E402
from verdalo_e2e import Program, host, mock_rule, requests, wait_until  # noqa: E402

ECHO_TEXT = "您的IP是：[127.0.0.1] 来自：本机回环"
NOT_CONNECTED = "本机没有连接到网络,请退出连接网络后操作!"
KEYWORDS = "北京 电信"
ENCODED = "/ip.php?%E5%8C%97%E4%BA%AC%20%E7%94%B5%E4%BF%A1"

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL: " + what, flush=True)


def location_paths():
    return [r["path"] for r in requests(host("location"), "/ips138.asp")]


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
    expected = "本站主数据：模拟省1.2.3.4市 电信\r\n参考数据一：参考1.2.3.4"
    check(result_at_end == expected, "result box: %r" % result_at_end)
    check(location_paths() == ["/ips138.asp?ip=1.2.3.4&action=2"], "requests: %r" % location_paths())


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
    # The first entry with a detail page answers slowly: the stop lands during it.
    mock_rule("/ip-10.0.1.0.htm", "slow", ms=3000)
    p.cmd("set-text 编辑框_实际地址 " + KEYWORDS)
    p.cmd("click 按钮_反向查询")
    check(wait_until(lambda: requests(host("range"), "/ip-"), 20), "no detail request")
    p.cmd("toolbar 2")
    final = p.wait_status(1, "查询完毕", 30000)
    check(final == "查询完毕,共找到4条数据!", "final status: " + final)
    rows = p.rows()
    check(rows == mock.expected_rows([KEYWORDS])[:4], "rows: %r" % rows)
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
    got = p.rows()
    for (address, answered), (cell0, cell1) in zip(rows, got):
        want = mock.location_text(address) if answered else ""
        check(cell0 == address and cell1 == want, "row %s: %r" % (address, (cell0, cell1)))


def test_batch_start_stop_200(p):
    addresses = ["10.9.%d.%d" % (i // 256, i % 256) for i in range(300)]
    p.import_list(addresses, os.path.join(os.environ["VERDALO_E2E_DIR"], "list.txt"))
    for _ in range(200):
        p.cmd("toolbar 0")
        p.cmd("toolbar 2")
    # Let the last worker finish its row, then run the rest to the end. The last stop may
    # have landed while no worker was in its loop; it stays pending and ends the first run
    # after one row, so a second start may be needed, never a third.
    time.sleep(1)
    for _ in range(2):
        if p.cmd("cell 299 1"):
            break
        before = len(location_paths())
        p.cmd("toolbar 0")
        # The worker shows its progress text before each request, so once the mock has seen
        # a new request, "查询完毕" can only be this run's end.
        check(wait_until(lambda: len(location_paths()) > before, 20), "a start made no request")
        check(wait_until(lambda: p.status(1).startswith("查询完毕"), 60), "run did not end")
    check(all(p.cmd("cell %d 1" % r) for r in (0, 299)),
          "the list was not finished: " + p.status(1))
    asked = location_paths()
    duplicates = sorted({x for x in asked if asked.count(x) > 1})
    check(not duplicates, "rows looked up twice (two workers): %r" % duplicates[:5])
    got = p.rows()
    wrong = [(a, c) for a, c in got if c != mock.location_text(a)]
    check(not wrong, "wrong or missing locations: %r" % wrong[:5])
    check(len(asked) == len(addresses), "requests: %d" % len(asked))


def test_batch_start_while_stopped_worker_finishes(p):
    # The stopped worker is still inside its slow first row when start is pressed again.
    mock_rule("ip=10.7.0.0&", "slow", ms=3000)
    addresses = ["10.7.0.%d" % i for i in range(5)]
    p.import_list(addresses, os.path.join(os.environ["VERDALO_E2E_DIR"], "list.txt"))
    p.cmd("toolbar 0")
    check(wait_until(lambda: location_paths(), 20), "no request made")
    p.cmd("toolbar 2")
    p.cmd("toolbar 0")
    refused = p.wait_status(1, "已开始查询", 5000)
    check(refused == "已开始查询,请先停止!", "second start: " + refused)
    final = p.wait_status(1, "查询完毕", 20000)
    check(final == "查询完毕,共查询出1条数据!", "final status: " + final)
    check(location_paths() == ["/ips138.asp?ip=10.7.0.0&action=2"], "requests: %r" % location_paths())
    check(p.rows()[0][1] == mock.location_text("10.7.0.0") and p.rows()[1][1] == "", "rows: %r" % p.rows())


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
    check(p.program.wait(timeout=10) is not None, "wine process still there")
    print("ended %.2f s after the close" % took)
    check(len(location_paths()) == 1, "requests after the close: %r" % location_paths())


TESTS = {name[5:]: fn for name, fn in globals().items() if name.startswith("test_")}


def main():
    exe, driver, name = sys.argv[1:4]
    if name not in TESTS:
        print("unknown test %s; known: %s" % (name, " ".join(sorted(TESTS))))
        return 2
    with Program(exe, driver) as p:
        if name != "public_address_not_connected":
            # Start-up is done when panel 2 has its text; tests begin from there.
            p.wait_status(2, "您的IP是", 30000)
        TESTS[name](p)
    print("%s: %s" % (name, "FAILED" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
