#!/usr/bin/python3
"""verdalo-cli in parts, joined: byte-identical to one run over the whole log.
dask: tools/dask_lookup.py on a LocalCluster of two worker processes, over files split at
line ends and over one file cut into byte ranges; a failing part and a summary refused.
parallel: GNU parallel --pipepart -k in blocks.
Usage: cli_distributed.py dask|parallel VERDALO_CLI DATA_FILE [ASN_FILE]"""
import os
import subprocess
import sys
import tempfile

MODE, CLI, DATA = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
ASN = os.path.abspath(sys.argv[4]) if len(sys.argv) > 4 and os.path.isfile(sys.argv[4]) else None
SOURCE = os.environ.get("VERDALO_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
OPTIONS = ["--data", DATA] + (["--asn", ASN] if ASN else [])
failures = []


def check(name, ok, detail=""):
    print(("ok   " if ok else "FAIL ") + name + ("" if ok else ": " + detail))
    if not ok:
        failures.append(name)


def make_log(tmp):
    log = os.path.join(tmp, "access.log")
    subprocess.run([sys.executable, os.path.join(SOURCE, "bench", "cli_log.py"), str(6 << 20),
                    log, "11"], check=True)
    # Lines of every kind at the cuts' mercy: no address, CR LF, GBK, IPv4-mapped, a
    # missing final line end.
    with open(log, "ab") as f:
        f.write(b"no address\r\n\xb1\xb1\xbe\xa9 218.70.0.1\n::ffff:8.8.8.8 x\n\n3fff::1")
    return log


def whole(log, options=()):
    return subprocess.run([CLI] + OPTIONS + list(options) + [log], capture_output=True,
                          check=True).stdout


def test_dask(tmp):
    log = make_log(tmp)
    tool = [sys.executable, os.path.join(SOURCE, "tools", "dask_lookup.py"), "--cli", CLI]
    split = os.path.join(tmp, "split.")
    subprocess.run(["split", "-n", "l/3", "-d", log, split], check=True)
    cases = [
        ("three files by a glob", [split + "*"], [], "tsv"),
        ("one file in byte ranges", ["--block", "700K", log], ["--format", "jsonl"], "jsonl"),
        ("byte ranges of each file", ["--block", "500K", split + "0[0-2]"], ["--annotate"], "annotate"),
    ]
    for name, args, options, tag in cases:
        out = os.path.join(tmp, "out-" + tag)
        joined = os.path.join(tmp, "joined-" + tag)
        p = subprocess.run(tool + ["--workers", "2", "--out", out, "--join", joined] + args +
                           ["--"] + OPTIONS + options, capture_output=True, timeout=120)
        parts = sorted(os.listdir(out)) if os.path.isdir(out) else []
        same = p.returncode == 0 and open(joined, "rb").read() == whole(log, options)
        check(f"dask: {name}, joined, equals one run ({len(parts)} parts)",
              same and len(parts) >= 3, p.stderr.decode()[-500:])
    p = subprocess.run(tool + ["--out", os.path.join(tmp, "bad"), log, os.path.join(tmp, "none.log"),
                               "--"] + OPTIONS, capture_output=True, timeout=120)
    check("dask: a part that fails is said, and the run fails",
          p.returncode == 1 and b"none.log: verdalo-cli exited with 3" in p.stderr,
          p.stderr.decode()[-500:])
    p = subprocess.run(tool + ["--cli", os.path.join(tmp, "no-program"), "--out",
                               os.path.join(tmp, "out-tsv"), log, "--"] + OPTIONS,
                       capture_output=True, timeout=120)
    check("dask: a program the workers cannot run is said, and stale parts go",
          p.returncode == 1 and b"no-program" in p.stderr and
          os.listdir(os.path.join(tmp, "out-tsv")) == ["part-00000.out"], p.stderr.decode()[-500:])
    p = subprocess.run(tool + ["--out", os.path.join(tmp, "s"), log, "--", "summary"],
                       capture_output=True, timeout=60)
    check("dask: summary refused", p.returncode == 2, p.stderr.decode()[-300:])


def test_parallel(tmp):
    log = make_log(tmp)
    for block, options in (("300k", []), ("1M", ["--format", "csv"])):
        p = subprocess.run(["parallel", "--will-cite", "--pipepart", "-k", "--block", block, "-a",
                            log, CLI] + OPTIONS + options, capture_output=True, timeout=120)
        check(f"parallel --pipepart -k --block {block} {' '.join(options)}: equals one run",
              p.returncode == 0 and p.stdout == whole(log, options), p.stderr.decode()[-300:])


if __name__ == "__main__":
    with tempfile.TemporaryDirectory() as tmp:
        {"dask": test_dask, "parallel": test_parallel}[MODE](tmp)
    if failures:
        print(f"{len(failures)} failed")
        sys.exit(1)
