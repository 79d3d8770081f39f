"""Helpers for end-to-end tests run inside tests/e2e/netns.sh: Verdalo.exe under Wine with
the UI test driver attached, the mock services' request log and rules, address lists.

    with Program(exe, driver) as p:
        p.cmd("set-text 编辑框_IP地址 1.2.3.4")
"""
import json
import os
import shutil
import subprocess
import tempfile
import time
import urllib.parse
import urllib.request


class DriverError(Exception):
    pass


def wine_env():
    env = dict(os.environ)
    env.update(LC_ALL="C.UTF-8", LANG="C.UTF-8", WINEDEBUG="-all")
    env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
    return env


def windows_path(path):
    """A Unix path as a Windows program under Wine names it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def stage_program(exe, offline_data=None, folder=None, asn_data=None):
    """A copy of Verdalo.exe in `folder` (by default a new one under the run's folder), so
    that what lies beside the build's program (its ipdata.db) does not reach the run: the
    copy has offline address data only when `offline_data` names a file, copied beside it
    as ipdata.db (and network numbers when `asn_data` names a file, as asn.db). Returns the
    copy's path."""
    if folder is None:
        base = os.environ.get("VERDALO_E2E_DIR") or tempfile.gettempdir()
        folder = tempfile.mkdtemp(prefix="program.", dir=base)
    os.makedirs(folder, exist_ok=True)
    copy = os.path.join(folder, os.path.basename(exe))
    shutil.copy2(exe, copy)
    if offline_data is not None:
        shutil.copy2(offline_data, os.path.join(folder, "ipdata.db"))
    if asn_data is not None:
        shutil.copy2(asn_data, os.path.join(folder, "asn.db"))
    return copy


class Program:
    """One run of Verdalo.exe, and the driver talking to it through pipes. The program runs
    from a copy without offline address data unless `offline_data` names the file to give it,
    in a folder of its own or in `folder` (made when missing)."""

    def __init__(self, exe, driver, start_limit_ms=60000, offline_data=None, stderr=None,
                 folder=None, asn_data=None):
        self.exe = stage_program(exe, offline_data, folder, asn_data)
        # `stderr` names a file for what Wine says about the program (a crash, a page fault).
        self.stderr = open(stderr, "wb") if stderr else subprocess.DEVNULL
        self.program = subprocess.Popen(["wine", self.exe], env=wine_env(),
                                        stdout=subprocess.DEVNULL, stderr=self.stderr)
        self.driver = subprocess.Popen(["wine", driver], env=wine_env(), stdin=subprocess.PIPE,
                                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                       text=True, encoding="utf-8", bufsize=1)
        self.cmd("wait-main %d" % start_limit_ms)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def ask(self, line):
        """Sends one command; returns (ok, value)."""
        self.driver.stdin.write(line + "\n")
        self.driver.stdin.flush()
        answer = self.driver.stdout.readline()
        if not answer:
            raise DriverError("driver ended at: " + line)
        answer = answer.rstrip("\n")
        if answer == "ok":
            return True, ""
        if answer.startswith("ok "):
            return True, unescape(answer[3:])
        return False, answer[4:] if answer.startswith("err ") else answer

    def cmd(self, line):
        ok, value = self.ask(line)
        if not ok:
            raise DriverError("%s: %s" % (line, value))
        return value

    def set_text(self, control, text):
        self.cmd("set-text %s %s" % (control, escape(text)))

    def set_clipboard(self, text):
        self.cmd("set-clipboard " + escape(text))

    def status(self, panel):
        return self.cmd("status %d" % panel)

    def wait_status(self, panel, prefix, ms=20000):
        return self.cmd("wait-status %d %s %d" % (panel, prefix, ms))

    def rows(self):
        n = int(self.cmd("rows"))
        return [(self.cmd("cell %d 0" % r), self.cmd("cell %d 1" % r)) for r in range(n)]

    def import_list(self, addresses, path, limit_ms=20000):
        """Fills the query list through the program's own text import."""
        with open(path, "wb") as f:
            f.write("\r\n".join(addresses).encode("gbk"))
        self.set_text("编辑框_文件位置", windows_path(path))
        self.cmd("click 按钮_导入")
        self.wait_status(1, "导入txt完毕!", limit_ms)
        if int(self.cmd("rows")) != len(addresses):
            raise DriverError("import gave %s rows" % self.cmd("rows"))

    def close(self):
        try:
            if self.program.poll() is None and self.driver.poll() is None:
                self.ask("kill-main")
        except (DriverError, OSError):
            pass
        for p in (self.driver, self.program):
            try:
                if p is self.driver and p.stdin:
                    p.stdin.close()
                p.wait(timeout=20)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        if self.stderr is not subprocess.DEVNULL:
            self.stderr.close()
        shutil.rmtree(os.path.dirname(self.exe), ignore_errors=True)


def escape(text):
    """A text as the driver reads it in an argument."""
    return (text.replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")
            .replace("\t", "\\t"))


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"r": "\r", "n": "\n", "t": "\t", "\\": "\\"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def requests(host=None, path_prefix=None):
    """Requests the mock services have seen, oldest first, as dicts."""
    with open(os.environ["VERDALO_MOCK_LOG"], encoding="utf-8") as f:
        entries = [json.loads(line) for line in f if line.strip()]
    return [e for e in entries if not e["path"].startswith("/__mock/")
            and (host is None or e["host"] == host)
            and (path_prefix is None or e["path"].startswith(path_prefix))]


def mock_control(path):
    """A control request to the mock (a path under /__mock/); returns its answer."""
    # Straight to the mock: a proxy named in the environment is not reachable in here.
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    with opener.open(os.environ["VERDALO_MOCK_URL"] + path, timeout=5) as r:
        return r.read().decode("ascii")


def mock_rule(match, action, ms=None, times=None):
    """Makes requests whose path contains `match` misbehave (see tests/mock)."""
    query = {"match": match, "action": action}
    if ms is not None:
        query["ms"] = ms
    if times is not None:
        query["times"] = times
    mock_control("/__mock/rule?" + urllib.parse.urlencode(query))


def wait_until(probe, seconds=10.0):
    end = time.time() + seconds
    while time.time() < end:
        value = probe()
        if value:
            return value
        time.sleep(0.05)
    return probe()


def host(kind):
    return os.environ["VERDALO_%s_HOST" % kind.upper()]
