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

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "mock"))
import mock_services as mock  # noqa: E402
from verdalo_e2e import (Program, escape, host, mock_rule, requests,  # noqa: E402
                         wait_until, wine_env, windows_path)

failures = []
RUN_DIR = os.environ.get("VERDALO_E2E_DIR", tempfile.gettempdir())


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
    # Row 5's answer takes a while, so the stop lands while it is under way.
    mock_rule("ip=10.2.0.5&", "slow", ms=3000, times=1)
    p.cmd("toolbar 0")
    check(wait_until(lambda: any("ip=10.2.0.5&" in x for x in location_paths()), 20),
          "row 5 was never asked for")
    p.cmd("toolbar 2")
    final = settled_status(p, "查询完毕", 20000)
    check(final == "查询完毕,共查询出5条数据!", "status after the stop: " + final)
    rows = p.rows()
    want_half = [(a, mock.location_text(a) if i < 5 else "") for i, a in enumerate(addresses)]
    check(rows == want_half, "rows after the stop: %r" % rows)

    # Unfinished: the export asks first. No writes nothing; Yes writes rows 1 to 5.
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
    resumed = location_paths()[before:]
    check(resumed == ["/ips138.asp?ip=%s&action=2" % a for a in addresses[5:]],
          "the resume asked for: %r" % resumed)
    asked = location_paths()
    check(len(asked) == len(set(asked)), "an address was asked for twice: %r" % asked)


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
    for path, status in [(os.path.join(folder, "missing.xls"), "无法读取文件,导入Excel失败!"),
                         (os.path.join(folder, "missing.txt"), "无法读取文件,导入txt失败!"),
                         (write_list("plain.xls", ["1.1.1.1"]), "不是有效的xls文件,导入Excel失败!"),
                         (other, "找不到工作表Sheet1,导入Excel失败!")]:
        p.set_text("编辑框_文件位置", windows_path(path))
        p.cmd("click 按钮_导入")
        got = settled_status(p, status.split(",")[0])
        check(got == status, "%s: %s" % (os.path.basename(path), got))
        check(p.rows() == want, "%s changed the list" % os.path.basename(path))


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
    out = subprocess.run(["wine", reader], env=wine_env(), capture_output=True, text=True,
                         timeout=60).stdout
    fields = dict(line.split(" ", 1) for line in out.splitlines() if " " in line)
    got = bytes.fromhex(fields.get("unicode", "-").replace("-", "")).decode("utf-8")
    check(got == result, "clipboard unicode text: %r, result box %r" % (got, result))
    check(fields.get("text") == "1", "no CF_TEXT beside CF_UNICODETEXT: %r" % out)
    check(fields.get("locale") == "804", "clipboard locale: %r" % out)


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


TESTS = {name[5:]: fn for name, fn in globals().items() if name.startswith("test_")}


def main():
    exe, driver, reader, name = sys.argv[1:5]
    if name not in TESTS:
        print("unknown test %s; known: %s" % (name, " ".join(sorted(TESTS))))
        return 2
    with Program(exe, driver) as p:
        p.wait_status(2, "您的IP是", 30000)
        if name == "copy":
            TESTS[name](p, reader)
        else:
            TESTS[name](p)
    print("%s: %s" % (name, "FAILED" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
