#!/usr/bin/env python3
"""The batch timed on the real program: Verdalo.exe imports the list, "开始获取" is pressed
and the clock stops at the final message. Run inside tests/e2e/netns.sh by bench/batch.sh.

    batch_program.py <Verdalo.exe> <verdalo_driver.exe> <rows>
"""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from verdalo_e2e import Program  # noqa: E402


def main():
    exe, driver, rows = sys.argv[1], sys.argv[2], int(sys.argv[3])
    addresses = ["10.%d.%d.%d" % (i // 65536 % 256, i // 256 % 256, i % 256) for i in range(rows)]
    with Program(exe, driver) as p:
        p.wait_status(2, "您的IP是", 30000)
        import_start = time.time()
        p.import_list(addresses, os.path.join(os.environ["VERDALO_E2E_DIR"], "bench-list.txt"), 600000)
        imported = time.time()
        print("import of %d rows: %.1f s" % (rows, imported - import_start), flush=True)
        start = time.time()
        p.cmd("toolbar 0")
        final = p.wait_status(1, "查询完毕", 600000)
        seconds = time.time() - start
        filled = sum(1 for r in (0, rows // 2, rows - 1) if p.cmd("cell %d 1" % r))
    print("rows=%d final=%s seconds=%.3f rows_per_second=%.1f" % (rows, final, seconds, rows / seconds))
    return 0 if filled == 3 else 1


if __name__ == "__main__":
    sys.exit(main())
