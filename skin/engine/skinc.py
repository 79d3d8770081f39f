#!/usr/bin/env python3
"""Compiles a readable skin source into the skin engine's binary resource.

Resource layout (little-endian), version 1:
  header, 16 bytes: magic b"VSKN", u16 version, u16 record count, u32 total length,
                    u32 FNV-1a hash of every byte after the header
  records:          u8 kind (1 colour, 2 metric, 3 font), u8 name length, u16 value length,
                    the name (ASCII), the value:
                      colour: r, g, b, 0
                      metric: i32
                      font:   i32 height, u16 weight, face name (UTF-8, the rest)
"""
import re
import struct
import sys

MAGIC = b"VSKN"
VERSION = 1
KIND_COLOUR, KIND_METRIC, KIND_FONT = 1, 2, 3
NAME = re.compile(r"^[a-z][a-z0-9.]*$")


def fnv1a(data):
    h = 0x811C9DC5
    for b in data:
        h = ((h ^ b) * 0x01000193) & 0xFFFFFFFF
    return h


def record(kind, name, value):
    if not NAME.match(name) or len(name) > 255:
        raise ValueError(f"bad name {name!r}")
    if len(value) > 0xFFFF:
        raise ValueError("value too long")
    return struct.pack("<BBH", kind, len(name), len(value)) + name.encode("ascii") + value


def compile_skin(text):
    records, seen = [], set()
    for number, raw in enumerate(text.splitlines(), 1):
        line = raw.strip()  # a comment is a whole line starting with "#"
        if not line or line.startswith("#"):
            continue
        try:
            words = line.split(None, 2)
            kind, name = words[0], words[1]
            rest = words[2] if len(words) > 2 else ""
            if name in seen:
                raise ValueError(f"{name} given twice")
            seen.add(name)
            if kind == "colour":
                m = re.fullmatch(r"#([0-9A-Fa-f]{6})", rest.strip())
                if not m:
                    raise ValueError("a colour is #RRGGBB")
                rgb = bytes.fromhex(m.group(1))
                records.append(record(KIND_COLOUR, name, rgb + b"\0"))
            elif kind == "metric":
                value = int(rest.strip())
                if not -0x80000000 <= value <= 0x7FFFFFFF:
                    raise ValueError("metric out of range")
                records.append(record(KIND_METRIC, name, struct.pack("<i", value)))
            elif kind == "font":
                m = re.fullmatch(r'(-?\d+)\s+(\d+)\s+"([^"]+)"', rest.strip())
                if not m:
                    raise ValueError('a font is <height> <weight> "<face>"')
                face = m.group(3).encode("utf-8")
                if len(face) > 93:
                    raise ValueError("face name too long")
                records.append(record(KIND_FONT, name,
                                      struct.pack("<iH", int(m.group(1)), int(m.group(2))) + face))
            else:
                raise ValueError(f"unknown kind {kind!r}")
        except (ValueError, IndexError) as e:
            raise SystemExit(f"skin source line {number}: {e}")
    body = b"".join(records)
    total = 16 + len(body)
    return MAGIC + struct.pack("<HHII", VERSION, len(records), total, fnv1a(body)) + body


def main():
    if len(sys.argv) != 3:
        raise SystemExit("usage: skinc.py SOURCE OUTPUT")
    with open(sys.argv[1], encoding="utf-8") as f:
        data = compile_skin(f.read())
    with open(sys.argv[2], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
