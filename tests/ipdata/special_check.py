#!/usr/bin/env python3
"""Holds the special-purpose address table (ipdata/special.cpp) against Python's ipaddress.

Usage: special_check.py path/to/special_dump

The addresses: both edges of every block either side knows, and one step outside each, a
random one inside each, random ones over both families (IPv6 spread over every first 16
bits), and every IPv4 one again as ::ffff:a.b.c.d. The rules:
  1. An address Python calls special (private, reserved, loopback, multicast, link-local,
     the all-zero address, or not global) gets an answer from our table.
  2. Python's loopback, multicast, link-local and all-zero addresses are ours too.
  3. An address Python calls global is ordinary for us, or in a block IANA marks globally
     reachable (anycast, translation, tunnel): Python's lists leave those out of is_private.
  4. A mapped address gets the answer of its IPv4 address. Python before 3.13 calls all of
     ::ffff:0:0/96 private and reserved; we answer, as 3.13 does, for the IPv4 address.
  5. Known addresses give the answers a user reads.
Python and IANA differ here and there (100.64/10 is neither private nor global for Python;
its lists change between versions): the rules above hold across them.
"""
import ipaddress
import random
import subprocess
import sys

V4 = ipaddress.IPv4Network
V6 = ipaddress.IPv6Network

# Blocks worth probing at their edges: ours (special.cpp) and Python's lists.
OURS = [V4(n) for n in (
    "0.0.0.0/8", "0.0.0.0/32", "10.0.0.0/8", "100.64.0.0/10", "127.0.0.0/8", "169.254.0.0/16",
    "172.16.0.0/12", "192.0.0.0/24", "192.0.0.9/32", "192.0.0.10/32", "192.0.2.0/24",
    "192.31.196.0/24", "192.52.193.0/24", "192.88.99.0/24", "192.168.0.0/16",
    "192.175.48.0/24", "198.18.0.0/15", "198.51.100.0/24", "203.0.113.0/24", "224.0.0.0/4",
    "240.0.0.0/4", "255.255.255.255/32")] + [V6(n) for n in (
    "::/128", "::1/128", "::/8", "64:ff9b::/96", "64:ff9b:1::/48", "100::/8", "100::/64",
    "200::/7", "400::/6", "800::/5", "1000::/4", "2001::/23", "2001::/32", "2001:1::1/128",
    "2001:1::2/128", "2001:1::3/128", "2001:2::/48", "2001:3::/32", "2001:4:112::/48",
    "2001:20::/28", "2001:30::/28", "2001:db8::/32", "2002::/16", "2620:4f:8000::/48",
    "3fff::/20", "4000::/3", "6000::/3", "8000::/3", "a000::/3", "c000::/3", "e000::/4",
    "f000::/5", "f800::/6", "fc00::/7", "fe00::/9", "fe80::/10", "fec0::/10", "ff00::/8")]

# Where some Python calls IANA's not globally reachable blocks global: 3fff::/20 came after
# the lists of Pythons still in use (RFC 9637, 2024); Pythons before the 2024 correction of
# their lists (CPython gh-113171) have only 192.0.0.0/29 and 192.0.0.170/31 of 192.0.0.0/24.
PYTHON_DIFFERS = [V6("3fff::/20"), V4("192.0.0.0/24")]

EXPECTED = {
    "0.0.0.0": "未指定地址", "0.1.2.3": "本网络地址", "127.0.0.1": "本机地址", "::1": "本机地址",
    "10.1.2.3": "局域网", "172.31.255.255": "局域网", "192.168.1.1": "局域网", "fd00::1": "局域网",
    "100.64.0.1": "共享地址", "169.254.1.1": "链路本地地址", "fe80::1": "链路本地地址",
    "192.0.2.1": "文档地址", "2001:db8::1": "文档地址", "3fff::1": "文档地址",
    "198.19.0.1": "基准测试地址", "2001:2::1": "基准测试地址", "224.0.0.1": "组播地址",
    "ff02::1": "组播地址", "255.255.255.255": "广播地址", "255.255.255.254": "保留地址",
    "240.0.0.1": "保留地址", "192.0.0.1": "协议保留地址", "192.88.99.1": "任播地址",
    "64:ff9b::808:808": "IPv4转换地址", "2002:808:808::1": "隧道地址", "100::1": "丢弃地址",
    "::ffff:127.0.0.1": "本机地址", "::ffff:192.168.0.1": "局域网", "8.8.8.8": None,
    "::ffff:218.70.0.1": None, "240e:1::1": None, "2001:4860:4860::8888": None,
}


def python_blocks():
    """Python's own lists, where this version keeps them where we look."""
    found = []
    for holder in (getattr(ipaddress, "_IPv4Constants", None),
                   getattr(ipaddress, "_IPv6Constants", None)):
        for name in dir(holder):
            value = getattr(holder, name)
            for item in value if isinstance(value, (list, tuple)) else [value]:
                if isinstance(item, (V4, V6)):
                    found.append(item)
    return found


def addresses(rng):
    out = set()
    for net in OURS + python_blocks():
        top = 2 ** net.max_prefixlen - 1
        first, last = int(net.network_address), int(net.broadcast_address)
        make = ipaddress.IPv4Address if net.version == 4 else ipaddress.IPv6Address
        for value in (first, last, first - 1, last + 1, rng.randint(first, last)):
            if 0 <= value <= top:
                out.add(make(value))
    for _ in range(20000):
        out.add(ipaddress.IPv4Address(rng.getrandbits(32)))
        out.add(ipaddress.IPv6Address(rng.getrandbits(16) << 112 | rng.getrandbits(112)))
        out.add(ipaddress.IPv6Address(0x2000 + rng.getrandbits(13) << 112 | rng.getrandbits(112)))
    out |= {ipaddress.ip_address(a) for a in EXPECTED}
    out |= {a.ipv4_mapped for a in list(out) if a.version == 6 and a.ipv4_mapped}
    out |= {ipaddress.IPv6Address("::ffff:" + str(a)) for a in list(out) if a.version == 4}
    return sorted(out, key=lambda a: (a.version, int(a)))


def python_special(a):
    # Site-local fec0::/10 is in none of Python's lists but has its own flag; IANA keeps it
    # reserved since its deprecation.
    return (a.is_private or a.is_reserved or a.is_loopback or a.is_multicast or a.is_link_local
            or int(a) == 0 or not a.is_global or getattr(a, "is_site_local", False))


def main():
    rng = random.Random(20260916)
    probes = addresses(rng)
    text = "".join(str(a) + "\n" for a in probes)
    run = subprocess.run([sys.argv[1]], input=text.encode(), capture_output=True, check=True)
    ours = {}
    for line in run.stdout.decode().splitlines():
        fields = line.split("\t")
        ours[ipaddress.ip_address(fields[0])] = fields[1:] if fields[1] != "-" else None
    assert len(ours) == len(probes), (len(ours), len(probes))

    faults = []
    kinds = [("loopback", lambda a: a.is_loopback, "Loopback"),
             ("multicast", lambda a: a.is_multicast, "Multicast"),
             ("link-local", lambda a: a.is_link_local, "LinkLocal"),
             ("all-zero", lambda a: int(a) == 0, "AnyAddress")]
    for a in probes:
        got = ours[a]
        mapped = a.version == 6 and a.ipv4_mapped
        if mapped:
            if got != ours[mapped]:
                faults.append(f"{a}: {got}, its IPv4 address {ours[mapped]}")
            continue
        if python_special(a) and got is None:
            faults.append(f"{a}: Python calls it special, no answer")
        for flag, says, kind in kinds:
            if says(a) and (got is None or got[0] != kind):
                faults.append(f"{a}: Python says {flag}, ours {got}")
        differs = any(a in net for net in PYTHON_DIFFERS if net.version == a.version)
        if not python_special(a) and got is not None and got[4] != "1" and not differs:
            faults.append(f"{a}: Python calls it global, ours {got}")
        if got and not ipaddress.ip_address(got[2]) <= a <= ipaddress.ip_address(got[3]):
            faults.append(f"{a}: outside its block {got}")
    for address, answer in EXPECTED.items():
        got = ours[ipaddress.ip_address(address)]
        if (got[1] if got else None) != answer:
            faults.append(f"{address}: {got}, expected {answer}")

    for fault in faults[:40]:
        print(fault)
    special = sum(1 for a in probes if ours[a])
    print(f"{len(probes)} addresses ({special} special), {len(faults)} faults, "
          f"Python {sys.version.split()[0]}")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
