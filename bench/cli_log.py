#!/usr/bin/env python3
"""An nginx-style access log for verdalo-cli: lines of about 190 bytes, IPv4 and IPv6
mixed, some addresses outside the data. Usage: cli_log.py BYTES PATH [SEED]
A first part of up to 64 MB is generated; a larger file repeats it (the figures measure
throughput, not the variety of a day's visitors)."""
import random
import sys

def lines(rng, count):
    v4 = [f"{rng.randrange(1, 224)}.{rng.randrange(256)}.{rng.randrange(256)}.{rng.randrange(256)}"
          for _ in range(150000)]
    v6 = [f"240e:{rng.randrange(0x10000):x}:{rng.randrange(0x10000):x}::{rng.randrange(1, 0xffff):x}"
          for _ in range(20000)]
    v6 += [f"2408:{rng.randrange(0x10000):x}:{rng.randrange(0x10000):x}:{rng.randrange(0x10000):x}::1"
           for _ in range(10000)]
    # Addresses the data does not place: documentation and unassigned space.
    outside = [f"3fff:{rng.randrange(0x10000):x}::{rng.randrange(1, 0xffff):x}" for _ in range(2000)]
    paths = ["/", "/index.html", "/api/v1/items", "/static/app.js", "/images/logo.png", "/search"]
    agents = ["Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 Chrome/120.0",
              "Mozilla/5.0 (iPhone; CPU iPhone OS 17_1 like Mac OS X) Mobile/15E148",
              "curl/8.4.0", "Mozilla/5.0 (X11; Linux x86_64; rv:121.0) Gecko/20100101 Firefox/121.0"]
    for i in range(count):
        r = rng.random()
        ip = rng.choice(v4) if r < 0.8 else rng.choice(v6) if r < 0.95 else rng.choice(outside)
        yield (f'{ip} - - [08/Dec/2026:{i // 3600 % 24:02d}:{i // 60 % 60:02d}:{i % 60:02d} +0800] '
               f'"GET {rng.choice(paths)}?id={rng.randrange(10**6)} HTTP/1.1" {rng.choice((200, 200, 304, 404))} '
               f'{rng.randrange(100, 50000)} "https://example.com/" "{rng.choice(agents)}"\n')

def main():
    size, path = int(sys.argv[1]), sys.argv[2]
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 1)
    part = []
    total = 0
    for line in lines(rng, 10**9):
        part.append(line)
        total += len(line)
        if total >= min(size, 64 << 20):
            break
    chunk = "".join(part).encode()
    with open(path, "wb") as out:
        written = 0
        while written + len(chunk) <= size or written == 0:
            out.write(chunk)
            written += len(chunk)

if __name__ == "__main__":
    main()
