#!/usr/bin/env python3
"""An access log with many distinct visitors, for what `verdalo-cli summary` holds per
address: DISTINCT IPv4 addresses (each once, then again in a second pass over a tenth of
them) and a twentieth as many IPv6 ones. Usage: cli_distinct_log.py DISTINCT PATH"""
import sys


def main():
    distinct, path = int(sys.argv[1]), sys.argv[2]
    # An odd multiplier permutes the 32-bit numbers: every address differs, spread over
    # the whole space as a real day's visitors are.
    def v4(i):
        n = (i * 2654435761 + 0x01000000) & 0xFFFFFFFF
        return f"{n >> 24}.{n >> 16 & 255}.{n >> 8 & 255}.{n & 255}"

    def v6(i):
        n = i * 40503 & 0xFFFFFFFF
        return f"240e:{n >> 16:x}:{n & 0xFFFF:x}::{i % 65535 + 1:x}"

    tail = ' - - [08/Dec/2026:10:00:00 +0800] "GET /index.html HTTP/1.1" 200 512\n'
    with open(path, "w") as out:
        batch = []
        for i in list(range(distinct)) + list(range(0, distinct, 10)):
            batch.append(v4(i) + tail)
            if i % 20 == 0:
                batch.append(v6(i // 20) + tail)
            if len(batch) >= 100000:
                out.write("".join(batch))
                batch.clear()
        out.write("".join(batch))


if __name__ == "__main__":
    main()
