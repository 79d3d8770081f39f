#!/usr/bin/env python3
"""Timings of the import and export on the real Verdalo.exe under Wine, through the UI
driver (a benchmark, not a test). Run inside tests/e2e/netns.sh (see io_bench.sh):

    io_bench.py <Verdalo.exe> <verdalo_driver.exe>

Each figure runs from the click to the final status text; the driver polls the status
panel, which adds a few milliseconds. Peak memory is the program's VmHWM at the end.
Sizes: VERDALO_IO_BENCH_LINES lines of the text import (100000), VERDALO_IO_BENCH_ROWS data
rows of the workbook (65533: with its two title rows the list then holds 65535 rows, the
largest list one sheet holds), VERDALO_IO_BENCH_HALF=1 adds a workbook of half that size.
Under Wine every row the list view gains is drawn at once, which costs milliseconds.
"""
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from verdalo_e2e import Program, windows_path  # noqa: E402

RUN_DIR = os.environ.get("VERDALO_E2E_DIR", tempfile.gettempdir())


def address(i):
    return "%d.%d.%d.%d" % (1 + i // 16777216 % 200, i // 65536 % 256, i // 256 % 256, i % 256)


def libreoffice_xls(name, rows):
    """A two-column workbook (title row, then `rows` rows) written by LibreOffice."""
    folder = os.path.join(RUN_DIR, name)
    os.makedirs(folder)
    with open(os.path.join(folder, "Sheet1.csv"), "w", encoding="utf-8") as f:
        f.write("IP,来自\n")
        for i in range(rows):
            f.write("%s,广东省深圳市 电信ADSL 第%d区\n" % (address(i), i % 900))
    env = dict(os.environ, HOME=tempfile.mkdtemp(dir=RUN_DIR))
    subprocess.run(["timeout", "300", "soffice", "--headless", "--norestore",
                    "--infilter=Text - txt - csv (StarCalc):44,34,76,1",
                    "--convert-to", "xls:MS Excel 97", "--outdir", folder,
                    os.path.join(folder, "Sheet1.csv")], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return os.path.join(folder, "Sheet1.xls")


def timed(p, action, final, question=False, limit_ms=3000000):
    start = time.time()
    action()
    if question:
        p.cmd("answer-box yes 60000")
    got = p.cmd("wait-status 1 %s %d" % (final, limit_ms))
    return time.time() - start, got


def main():
    exe, driver = sys.argv[1:3]
    lines = int(os.environ.get("VERDALO_IO_BENCH_LINES", "100000"))
    rows = int(os.environ.get("VERDALO_IO_BENCH_ROWS", "65533"))
    txt = os.path.join(RUN_DIR, "list.txt")
    with open(txt, "wb") as f:
        f.write(b"".join(address(i).encode() + b"\r\n" for i in range(lines)))
    half = libreoffice_xls("half", rows // 2) if os.environ.get("VERDALO_IO_BENCH_HALF") else None
    full = libreoffice_xls("full", rows)
    results = []
    with Program(exe, driver) as p:
        p.wait_status(2, "您的IP是", 30000)
        p.cmd("timeout 3000000")

        def click(button):
            return lambda: p.cmd("click " + button)

        def load(path):
            p.set_text("编辑框_文件位置", windows_path(path))

        def target(name):
            p.set_text("编辑框_保存位置", windows_path(os.path.join(RUN_DIR, name)))

        load(txt)
        results.append(("txt import, %d lines" % lines,
                        timed(p, click("按钮_导入"), "导入txt完毕!")))
        target("none.txt")
        results.append(("txt export, %d rows without location" % lines,
                        timed(p, click("按钮_导出"), "导出txt完毕!", question=True)))
        if half:
            load(half)
            results.append((".xls import, %d rows" % (rows // 2 + 2),
                            timed(p, click("按钮_导入"), "导入Excel完毕!")))
            target("half.txt")
            results.append(("txt export, %d rows" % (rows // 2 + 2),
                            timed(p, click("按钮_导出"), "导出txt完毕!")))
        load(full)
        results.append((".xls import, %d rows" % (rows + 2),
                        timed(p, click("按钮_导入"), "导入Excel完毕!")))
        target("full.txt")
        results.append(("txt export, %d rows" % (rows + 2),
                        timed(p, click("按钮_导出"), "导出txt完毕!")))
        target("full.xls")
        results.append((".xls export, %d rows" % (rows + 2),
                        timed(p, click("按钮_导出"), "导出Excel完毕")))
        peak = "?"
        try:
            with open("/proc/%d/status" % p.program.pid) as f:
                peak = [line.split(":")[1].strip() for line in f if line.startswith("VmHWM")][0]
        except (OSError, IndexError):
            pass
    for name, (seconds, status) in results:
        print("%-44s %8.2f s   %s" % (name, seconds, status))
    print("peak memory of Verdalo.exe (VmHWM): %s" % peak)
    lines = sum(1 for _ in open(os.path.join(RUN_DIR, "full.txt"), "rb"))
    print("full.txt lines: %d, full.xls bytes: %d" %
          (lines, os.path.getsize(os.path.join(RUN_DIR, "full.xls"))))
    return 0


if __name__ == "__main__":
    sys.exit(main())
