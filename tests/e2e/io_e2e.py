#!/usr/bin/env python3
"""End-to-end tests of the import, export and copy on the real Verdalo.exe, through the UI
test driver, against the mock location service. Run inside tests/e2e/netns.sh (see
io_e2e.sh):

    io_e2e.py <Verdalo.exe> <verdalo_driver.exe> <io_clipboard_read.exe> <test name>
"""
import csv
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "mock"))
import mock_services as mock  # noqa: E402
from verdalo_e2e import (Program, escape, host, mock_rule, requests,  # noqa: E402
                         wait_until, wine_env, windows_path)

failures = []
RUN_DIR = os.environ.get("VERDALO_E2E_DIR", tempfile.gettempdir())
FIRST_ROWS = 3000000  # read in about 0.5 s under Wine (the rows are compact now), the second click lands in 0.02-0.2 s


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL: " + what, flush=True)


def location_paths():
    return [r["path"] for r in requests(host("location"), "/ips138.asp")]


def write_list(name, addresses):
    path = os.path.join(RUN_DIR, name)
    with open(path, "wb") as f:
        f.write("\r\n".join(addresses).encode("gbk") + b"\r\n")
    return path


def text_export(rows):
    """The bytes of a text export: the first row always, later rows with a location."""
    out = b""
    for i, (address, location) in enumerate(rows):
        if i == 0 or location:
            out += (address + "  " + location + "\r\n").encode("gbk")
    return out


def xlrd_rows(path):
    import xlrd
    book = xlrd.open_workbook(path, formatting_info=True)
    sheet = book.sheet_by_name("Sheet1")
    formats = set()
    rows = []
    for r in range(sheet.nrows):
        row = []
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            if cell.ctype not in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                formats.add(book.format_map[book.xf_list[cell.xf_index].format_key].format_str)
                check(cell.ctype == xlrd.XL_CELL_TEXT, "cell %d,%d is not text" % (r, c))
            row.append(cell.value)
        rows.append(tuple(row))
    return rows, formats


def settled_status(p, prefix, ms=30000):
    """Waits for panel 1 to start with `prefix`, then reads it until two reads agree: the
    driver reads a panel's length and text in two steps, so a read during a change can be
    cut short."""
    p.wait_status(1, prefix, ms)
    last = p.status(1)
    for _ in range(50):
        now = p.status(1)
        if now == last:
            return now
        last = now
    return last


def import_txt(p, path):
    p.set_text("编辑框_文件位置", windows_path(path))
    p.cmd("click 按钮_导入")
    return settled_status(p, "导入txt")


def run_batch_to_end(p, rows, limit=60):
    """Starts the batch and waits until every row has its location."""
    p.cmd("toolbar 0")
    done = wait_until(lambda: p.status(1).startswith("查询完毕") and
                      all(p.cmd("cell %d 1" % r) for r in range(rows)), limit)
    check(done, "batch did not finish: " + p.status(1))


def test_typical_road(p):
    addresses = ["10.1.0.%d" % i for i in range(1, 13)] + ["1.10.100.200"]
    path = write_list("list.txt", addresses)
    check(import_txt(p, path) == "导入txt完毕!", "import status: " + p.status(1))
    check(p.rows() == [(a, "") for a in addresses], "imported rows: %r" % p.rows()[:3])

    p.cmd("toolbar 0")
    final = settled_status(p, "查询完毕", 60000)
    check(final == "查询完毕,共查询出%d条数据!" % len(addresses), "batch status: " + final)
    want = [(a, mock.location_text(a)) for a in addresses]
    check(p.rows() == want, "rows after the batch: %r" % p.rows()[:3])

    txt = os.path.join(RUN_DIR, "结果.txt")
    p.set_text("编辑框_保存位置", windows_path(txt))
    p.cmd("click 按钮_导出")
    check(p.wait_status(1, "导出txt完毕!") == "导出txt完毕!", "txt export: " + p.status(1))
    check(p.cmd("no-box") == "", "a question was asked for a finished list")
    with open(txt, "rb") as f:
        got = f.read()
    check(got == text_export(want), "txt bytes: %r" % got[:120])

    xls = os.path.join(RUN_DIR, "结果.xls")
    p.set_text("编辑框_保存位置", windows_path(xls))
    p.cmd("click 按钮_导出")
    check(p.wait_status(1, "导出Excel完毕!") == "导出Excel完毕!", "xls export: " + p.status(1))
    rows, formats = xlrd_rows(xls)
    check(rows == [("IP", "来自")] + want, "xls rows: %r" % rows[:3])
    check(formats == {"@"}, "xls formats: %r" % formats)


def test_stop_and_resume(p):
    addresses = ["10.2.0.%d" % i for i in range(1, 11)]
    import_txt(p, write_list("list.txt", addresses))
    # Rows 1 to 4 are answered; the answers of rows 5 to 8 take long, so all four requests
    # the batch keeps under way are waiting when the stop cuts them short.
    waiting = addresses[4:8]
    for address in waiting:
        mock_rule("ip=%s&" % address, "slow", ms=20000, times=1)
    p.cmd("toolbar 0")
    check(wait_until(lambda: len(location_paths()) == 8 and
                     all(p.cmd("cell %d 1" % r) for r in range(4)), 20),
          "rows 1 to 4 answered and rows 5 to 8 asked for: %r" % location_paths())
    p.cmd("toolbar 2")
    final = settled_status(p, "查询完毕", 5000)
    check(final == "查询完毕,共查询出4条数据!", "status after the stop: " + final)
    rows = p.rows()
    want_half = [(a, mock.location_text(a) if i < 4 else "") for i, a in enumerate(addresses)]
    check(rows == want_half, "rows after the stop: %r" % rows)

    # Unfinished: the export asks first. No writes nothing; Yes writes rows 1 to 4.
    partial = os.path.join(RUN_DIR, "partial.txt")
    p.set_text("编辑框_保存位置", windows_path(partial))
    p.cmd("click 按钮_导出")
    check(p.cmd("box-caption") == "警告", "question caption")
    check(p.cmd("box-text") == "目前还没有查询完您的数据,请问现在就要导出吗?", "question text")
    p.cmd("answer-box no")
    check(not os.path.exists(partial), "No still wrote the file")
    check(p.status(1) == final, "No changed the status: " + p.status(1))
    p.cmd("click 按钮_导出")
    p.cmd("answer-box yes")
    p.wait_status(1, "导出txt完毕!")
    with open(partial, "rb") as f:
        check(f.read() == text_export(want_half), "partial export bytes")

    before = len(location_paths())
    run_batch_to_end(p, len(addresses))
    want = [(a, mock.location_text(a)) for a in addresses]
    check(p.rows() == want, "rows after the resume: %r" % p.rows())
    # The resume asks for the rows without a location, the ones cut short included, once.
    resumed = location_paths()[before:]
    check(sorted(resumed) == sorted("/ips138.asp?ip=%s&action=2" % a for a in addresses[4:]),
          "the resume asked for: %r" % resumed)


def libreoffice_xls(folder, csv_name, lines):
    """An .xls that LibreOffice writes from a CSV; the sheet takes the CSV's name."""
    os.makedirs(folder, exist_ok=True)
    source = os.path.join(RUN_DIR, "csv")
    os.makedirs(source, exist_ok=True)
    with open(os.path.join(source, csv_name), "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    home = tempfile.mkdtemp(dir=RUN_DIR)
    env = dict(os.environ, HOME=home)
    subprocess.run(["timeout", "120", "soffice", "--headless", "--norestore",
                    "--infilter=Text - txt - csv (StarCalc):44,34,76,1",
                    "--convert-to", "xls:MS Excel 97", "--outdir", folder,
                    os.path.join(source, csv_name)], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return os.path.join(folder, os.path.splitext(csv_name)[0] + ".xls")


def test_xls_import(p):
    folder = os.path.join(RUN_DIR, "地址表")
    book = libreoffice_xls(folder, "Sheet1.csv", ["地址", "1.1.1.1", "2.2.2.2", "1.10.100.200"])
    p.set_text("编辑框_文件位置", windows_path(book))
    p.cmd("click 按钮_导入")
    check(settled_status(p, "导入Excel") == "导入Excel完毕!", "import status: " + p.status(1))
    want = [("地址", ""), ("1.1.1.1", ""), ("2.2.2.2", ""), ("1.10.100.200", "")]
    check(p.rows() == want, "rows: %r" % p.rows())

    # Files that cannot be read leave the list alone and say so.
    other = libreoffice_xls(folder, "Addresses.csv", ["9.9.9.9"])
    # A workbook cut short is still told by its signature, and refused.
    cut = os.path.join(folder, "cut.xls")
    with open(book, "rb") as whole, open(cut, "wb") as part:
        part.write(whole.read(700))
    for path, status in [(os.path.join(folder, "missing.xls"), "无法读取文件,导入Excel失败!"),
                         (os.path.join(folder, "missing.txt"), "无法读取文件,导入txt失败!"),
                         (cut, "不是有效的xls文件,导入Excel失败!"),
                         (other, "找不到工作表Sheet1,导入Excel失败!")]:
        p.set_text("编辑框_文件位置", windows_path(path))
        p.cmd("click 按钮_导入")
        got = settled_status(p, status.split(",")[0])
        check(got == status, "%s: %s" % (os.path.basename(path), got))
        check(p.rows() == want, "%s changed the list" % os.path.basename(path))


def clipboard(reader):
    """What our clipboard reader finds: the Unicode text and its other fields."""
    out = subprocess.run(["wine", reader], env=wine_env(), capture_output=True, text=True,
                         timeout=60).stdout
    fields = dict(line.split(" ", 1) for line in out.splitlines() if " " in line)
    return bytes.fromhex(fields.get("unicode", "-").replace("-", "")).decode("utf-8"), fields


def test_copy(p, reader):
    p.set_text("编辑框_结果", "")
    p.cmd("click 按钮_复制")
    p.wait_status(1, "没有可复制的结果!")

    p.cmd("set-text 编辑框_IP地址 1.2.3.4")
    p.cmd("click 按钮_单一查询")
    p.wait_status(1, "查询完毕!", 20000)
    result = p.cmd("get-text 编辑框_结果")
    check("模拟省1.2.3.4市" in result, "single query result: %r" % result)
    p.cmd("click 按钮_复制")
    p.wait_status(1, "已成功复制到剪切板中!")
    got, fields = clipboard(reader)
    check(got == result, "clipboard unicode text: %r, result box %r" % (got, result))
    check(fields.get("text") == "1", "no CF_TEXT beside CF_UNICODETEXT: %r" % fields)
    check(fields.get("locale") == "804", "clipboard locale: %r" % fields)


def test_copy_huge_answer(p, reader):
    # The location service answers 1.2.3.4 with a location of 1 MB.
    mock_rule("ip=1.2.3.4&", "huge", times=1)
    p.cmd("set-text 编辑框_IP地址 1.2.3.4")
    p.cmd("click 按钮_单一查询")
    # The window answers every read at once while the answer comes in and is shown.
    p.cmd("timeout 3000")
    slowest, end, final = 0.0, time.time() + 30, ""
    while time.time() < end and final != "查询完毕!":
        started = time.time()
        ok, final = p.ask("status 1")
        check(ok, "the window did not answer: " + final)
        slowest = max(slowest, time.time() - started)
    check(final == "查询完毕!", "final status: " + final)
    started = time.time()
    shown = p.cmd("get-text 编辑框_结果")
    slowest = max(slowest, time.time() - started)
    check(slowest < 2, "a read of the window took %.1f s" % slowest)
    p.cmd("timeout 10000")
    # The box shows the first 1024 characters of the long line, then "…".
    line = "本站主数据：" + mock.huge_location_text("1.2.3.4")
    want = line[:1024] + "…" + "\r\n参考数据一：参考1.2.3.4"
    check(shown == want, "result box: %d characters, %r...%r" % (len(shown), shown[:40], shown[-60:]))
    p.cmd("click 按钮_复制")
    p.wait_status(1, "已成功复制到剪切板中!")
    got, _ = clipboard(reader)
    check(got == shown, "clipboard: %d characters, %r" % (len(got), got[-60:]))


def test_drop(p):
    # A Notepad-style UTF-8 log dropped with a second file: the first is imported as 导入
    # would (its addresses, each once, its Chinese read as UTF-8) and named in 文件位置.
    log = os.path.join(RUN_DIR, "登录记录.log")
    with open(log, "wb") as f:
        f.write("2026-12-01 登录 来自 222.180.0.1 端口 80\r\n失败 [240e:1::1]:443 用户 张三\r\n"
                "再次 222.180.0.1\r\n".encode("utf-8"))
    other = write_list("other.txt", ["5.5.5.5"])
    p.cmd("drop-files " + escape(windows_path(log) + "|" + windows_path(other)))
    check(settled_status(p, "导入") == "导入txt完毕!共找到2个IP地址", "drop status: " + p.status(1))
    check(p.rows() == [("222.180.0.1", ""), ("240e:1::1", "")], "dropped rows: %r" % p.rows())
    check(p.cmd("get-text 编辑框_文件位置") == windows_path(log), "file location box")


def test_import_twice(p):
    # A second click on 导入 while the first import is at its file is refused: the list ends
    # with the first file's rows, where a second import that went through would leave the
    # second file's. The first file is long enough to be still at work when the click lands.
    first = ["10.%d.%d.%d" % (i // 65536, i // 256 % 256, i % 256) for i in range(FIRST_ROWS)]
    second = ["10.3.0.%d" % i for i in range(3)]
    first_path, second_path = write_list("first.txt", first), write_list("second.txt", second)
    p.set_text("编辑框_文件位置", windows_path(first_path))
    started = time.time()
    p.cmd("click 按钮_导入")
    p.wait_status(1, "正在导入txt")
    p.set_text("编辑框_文件位置", windows_path(second_path))
    p.cmd("click 按钮_导入")
    clicked = time.time() - started
    check(settled_status(p, "导入txt", 60000) == "导入txt完毕!", "import status: " + p.status(1))
    print("second click %.2f s after the first, import done after %.2f s"
          % (clicked, time.time() - started))
    time.sleep(1)
    check(int(p.cmd("rows")) == len(first), "rows: %s" % p.cmd("rows"))
    ends = [p.cmd("cell %d 0" % r) for r in (0, int(p.cmd("rows")) - 1)]
    check(ends == [first[0], first[-1]], "first and last rows: %r" % ends)


def test_dialogs(p):
    existing = write_list("chosen.txt", ["5.5.5.5"])
    p.cmd("click 按钮_文件位置")
    p.cmd("file-dialog " + escape(windows_path(existing)))
    check(p.cmd("get-text 编辑框_文件位置") == windows_path(existing), "open dialog path")
    p.cmd("click 按钮_导入")
    check(settled_status(p, "导入txt") == "导入txt完毕!", "import of the chosen file")

    # The save dialog asks before it overwrites a file that exists.
    target = os.path.join(RUN_DIR, "exists.xls")
    shutil.copy(existing, target)
    p.cmd("click 按钮_保存位置")
    p.cmd("timeout 3000")
    ok, _ = p.ask("file-dialog " + escape(windows_path(target)))
    p.cmd("timeout 10000")
    check(not ok, "the save dialog closed without asking about the existing file")
    prompt = p.cmd("answer-box yes")
    check("exists" in prompt, "overwrite prompt: %r" % prompt)
    wait_until(lambda: p.cmd("get-text 编辑框_保存位置") == windows_path(target), 10)
    check(p.cmd("get-text 编辑框_保存位置") == windows_path(target), "save dialog path")
    p.cmd("click 按钮_保存位置")
    p.cmd("file-dialog-cancel")
    check(p.cmd("get-text 编辑框_保存位置") == windows_path(target), "cancel changed the path")


# A folder GBK cannot name: Hangul, and a CJK Extension B character beyond the BMP (a
# surrogate pair in UTF-16). The program itself runs from inside it, its address data beside.
OUTSIDE_GBK = "목록 \U00020000"


def outside_gbk_program(exe, driver):
    from offline_e2e import small_data_file
    data = os.path.join(RUN_DIR, "small.db")
    small_data_file(data, [("0.0.0.0", "58.42.255.255", "0|0|0|0|0"),
                           ("58.43.0.0", "58.43.255.255", "中国|0|重庆|重庆市|电信"),
                           ("58.44.0.0", "255.255.255.255", "0|0|0|0|0")])
    return Program(exe, driver, offline_data=data,
                   folder=os.path.join(RUN_DIR, OUTSIDE_GBK, "程序 프로그램"))


def test_paths_outside_gbk(p):
    folder = os.path.join(RUN_DIR, OUTSIDE_GBK)
    # The address data beside the program answers the reverse search; the service is not asked.
    p.set_text("编辑框_实际地址", "重庆市 电信")
    p.cmd("click 按钮_反向查询")
    final = settled_status(p, "查询完毕")
    check(final == "查询完毕,共找到1条数据!", "reverse search from the data: " + final)
    check(requests(host("range")) == [], "the range service was asked")

    addresses = ["10.4.0.%d" % i for i in range(1, 4)]
    path = os.path.join(folder, "주소 목록.txt")
    with open(path, "wb") as f:
        f.write("\r\n".join(addresses).encode("gbk"))
    # The driver hands the box UTF-16 made from UTF-8: the pair beyond the BMP comes back whole.
    p.set_text("编辑框_文件位置", windows_path(path))
    check(p.cmd("get-text 编辑框_文件位置") == windows_path(path), "the box does not hold the path")
    p.cmd("click 按钮_导入")
    check(settled_status(p, "导入txt") == "导入txt完毕!", "import status: " + p.status(1))
    check(p.rows() == [(a, "") for a in addresses], "imported rows: %r" % p.rows())

    # The open dialog fills the box with such a name, and the import reads it.
    chosen = os.path.join(folder, "선택.TXT")
    with open(chosen, "wb") as f:
        f.write(b"10.4.1.1\r\n")
    p.cmd("click 按钮_文件位置")
    p.cmd("file-dialog " + escape(windows_path(chosen)))
    check(p.cmd("get-text 编辑框_文件位置") == windows_path(chosen), "open dialog path")
    p.cmd("click 按钮_导入")
    check(settled_status(p, "导入txt") == "导入txt完毕!", "import of the chosen file: " + p.status(1))
    check(p.rows() == [("10.4.1.1", "")], "rows of the chosen file: %r" % p.rows())

    import_txt(p, path)
    run_batch_to_end(p, len(addresses))
    want = [(a, mock.location_text(a)) for a in addresses]
    txt = os.path.join(folder, "결과.txt")
    p.set_text("编辑框_保存位置", windows_path(txt))
    p.cmd("click 按钮_导出")
    check(settled_status(p, "导出txt") == "导出txt完毕!", "txt export: " + p.status(1))
    if os.path.exists(txt):
        with open(txt, "rb") as f:
            got = f.read()
        check(got == text_export(want), "txt bytes: %r" % got[:120])
    else:
        check(False, "no %s in %r" % (txt, os.listdir(folder)))
    # The ending chooses the format without case: a CSV.
    table = os.path.join(folder, "결과.CSV")
    p.set_text("编辑框_保存位置", windows_path(table))
    p.cmd("click 按钮_导出")
    check(settled_status(p, "导出csv") == "导出csv完毕!", "csv export: " + p.status(1))
    if os.path.exists(table):
        with open(table, encoding="utf-8-sig", newline="") as f:
            records = [tuple(r) for r in csv.reader(f)]
        header = ("IP", "来自", "国家", "省份", "城市", "区县", "所有者", "运营商", "ASN",
                  "AS名称", "纬度", "经度", "时区", "邮编", "大洲", "次数", "来源")
        check(records[:1] == [header], "csv header: %r" % records[:1])
        check([r[:2] for r in records[1:]] == want, "csv records: %r" % records[:3])
        check(all(r[15:] == ("1", "网络") for r in records[1:]), "csv hits and source: %r"
              % records[:3])
    else:
        check(False, "no %s in %r" % (table, os.listdir(folder)))


TESTS = {name[5:]: fn for name, fn in globals().items() if name.startswith("test_")}


def main():
    exe, driver, reader, name = sys.argv[1:5]
    if name not in TESTS:
        print("unknown test %s; known: %s" % (name, " ".join(sorted(TESTS))))
        return 2
    start = outside_gbk_program if name == "paths_outside_gbk" else Program
    with start(exe, driver) as p:
        p.wait_status(2, "您的IP是", 30000)
        if name in ("copy", "copy_huge_answer"):
            TESTS[name](p, reader)
        else:
            TESTS[name](p)
    print("%s: %s" % (name, "FAILED" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
