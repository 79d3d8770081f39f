"""Runs Verdalo.exe under Wine and talks to it through the UI test driver.

Meant to run inside tests/e2e/netns.sh, which provides the private network, the mock
services, a private Xvfb (DISPLAY) and the Wine prefix (WINEPREFIX).
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from verdalo_e2e import stage_program  # noqa: E402


class DriverError(Exception):
    pass


def wine_env(extra=None):
    env = dict(os.environ)
    # An English system: every Chinese text must still come back exactly.
    env.update(LC_ALL="C.UTF-8", LANG="C.UTF-8", WINEDEBUG="-all",
               WINEDLLOVERRIDES=env.get("WINEDLLOVERRIDES", "mscoree,mshtml="))
    env.update(extra or {})
    return env


def wine_reg(args):
    subprocess.run(["wine", "reg"] + args, env=wine_env(), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60, check=False)


def prepare_prefix():
    """Without a window manager Wine draws the window frames itself only for unmanaged
    windows; the screenshots then show caption and frame as a user sees them."""
    wine_reg(["add", r"HKCU\Software\Wine\AppDefaults\Verdalo.exe\X11 Driver",
              "/v", "Managed", "/d", "N", "/f"])


class Driver:
    """The UI test driver, one command at a time through pipes."""

    def __init__(self, driver):
        self.process = subprocess.Popen(["wine", driver], env=wine_env(), stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        text=True, encoding="utf-8", bufsize=1)

    def ask(self, line):
        """Sends one command; returns (ok, value)."""
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        answer = self.process.stdout.readline()
        if not answer:
            raise DriverError("driver ended at: " + line)
        answer = answer.rstrip("\n")
        if answer == "ok":
            return True, ""
        if answer.startswith("ok "):
            return True, answer[3:]
        return False, answer[4:] if answer.startswith("err ") else answer

    def cmd(self, line):
        ok, value = self.ask(line)
        if not ok:
            raise DriverError(f"{line}: {value}")
        return value

    def close(self):
        try:
            self.process.stdin.close()
            self.process.stdout.close()
            self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class Program:
    """One run of Verdalo.exe with a driver attached; use as a context manager. The program
    runs from a copy without offline address data unless `offline_data` names the file to
    give it (see verdalo_e2e.stage_program)."""

    def __init__(self, exe, driver, offline_data=None):
        self.driver_exe = driver
        self.tmp = tempfile.mkdtemp(prefix="verdalo-ui.")
        self.exe = exe = stage_program(exe, offline_data, self.tmp)
        # The shell opens web addresses with winebrowser, which hands them to the first
        # browser it finds on PATH, xdg-open first: ours writes the address to a file.
        self.url_log = os.path.join(self.tmp, "opened-urls.txt")
        bin_dir = os.path.join(self.tmp, "bin")
        os.mkdir(bin_dir)
        browser = os.path.join(bin_dir, "xdg-open")
        with open(browser, "w") as f:
            f.write('#!/bin/sh\nprintf "%s\\n" "$1" >> "$VERDALO_URL_LOG"\n')
        os.chmod(browser, 0o755)
        env = wine_env({"VERDALO_URL_LOG": self.url_log,
                         "PATH": bin_dir + os.pathsep + os.environ.get("PATH", "")})
        self.program = subprocess.Popen(["wine", exe], env=env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        self.driver = Driver(driver)
        # Waits end as soon as their condition holds; the limit only matters on a busy machine.
        self.cmd("timeout 30000")
        self.cmd("wait-main 60000")
        # Start-up ends with the public address in panel 2; the window answers input after.
        def started():
            ok, text = self.ask("status 2")
            return ok and text not in ("", "正在获取...")
        if not self.wait_until(started, 30):
            raise DriverError("start-up did not finish")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def ask(self, line):
        return self.driver.ask(line)

    def cmd(self, line):
        return self.driver.cmd(line)

    def ints(self, line):
        return [int(v) for v in self.cmd(line).split()]

    def opened_urls(self):
        try:
            with open(self.url_log, encoding="utf-8") as f:
                return [line.rstrip("\n") for line in f]
        except FileNotFoundError:
            return []

    def wait_until(self, probe, seconds=10.0):
        end = time.time() + seconds
        while time.time() < end:
            value = probe()
            if value:
                return value
            time.sleep(0.1)
        return probe()

    def screenshot(self, window, path):
        """The window as on screen, frame included, cut from the root window."""
        x, y, w, h = self.ints(f"window-rect {window}")
        subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage", path],
                       check=True, timeout=60)

    def pixel(self, x, y):
        out = subprocess.run(["import", "-window", "root", "-crop", f"1x1+{x}+{y}", "-depth", "8",
                              "txt:-"], check=True, timeout=60, capture_output=True, text=True).stdout
        # "0,0: (220,220,220)  #DCDCDC  ..."
        line = out.strip().splitlines()[-1]
        rgb = line.split("(")[1].split(")")[0].split(",")[:3]
        return tuple(int(float(v)) for v in rgb)

    def close(self):
        try:
            if self.program.poll() is None and self.driver.process.poll() is None:
                self.ask("kill-main")
        except (DriverError, OSError):
            pass
        self.driver.close()
        try:
            self.program.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.program.kill()
            self.program.wait()
        shutil.rmtree(self.tmp, ignore_errors=True)
