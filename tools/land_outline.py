#!/usr/bin/python3
"""The land of the map as a C++ source: a TopoJSON topology's object decoded into rings of
int16 longitude/latitude pairs in hundredths of a degree, embedded in the program.

    land_outline.py land-110m.json land_data.cpp [--object land]

A missing input gives an empty outline (the map then draws no land) and a warning, so the
build works on a machine where scripts/install-deps.sh has not fetched the file.
"""

import argparse
import json
import os
import sys


def decode_arcs(topology):
    """Each arc as absolute (lon, lat) pairs: quantized arcs are delta-encoded positions
    scaled by the transform; arcs without a transform are absolute already."""
    transform = topology.get("transform")
    arcs = []
    for arc in topology["arcs"]:
        if transform is None:
            arcs.append([(float(p[0]), float(p[1])) for p in arc])
            continue
        (sx, sy), (tx, ty) = transform["scale"], transform["translate"]
        x = y = 0
        points = []
        for p in arc:
            x += p[0]
            y += p[1]
            points.append((x * sx + tx, y * sy + ty))
        arcs.append(points)
    return arcs


def ring_points(ring, arcs):
    """A ring's points from its arc indices; ~i is arc i walked backwards. Each arc after
    the first starts where the one before it ended, so that shared point is taken once."""
    points = []
    for index in ring:
        if not 0 <= (index if index >= 0 else ~index) < len(arcs):
            raise ValueError("arc index %d out of range" % index)
        arc = arcs[~index][::-1] if index < 0 else arcs[index]
        points.extend(arc[1:] if points else arc)
    return points


def rings_of(geometry, arcs):
    kind = geometry.get("type")
    if kind == "GeometryCollection":
        return [r for g in geometry["geometries"] for r in rings_of(g, arcs)]
    if kind == "Polygon":
        return [ring_points(r, arcs) for r in geometry["arcs"]]
    if kind == "MultiPolygon":
        return [ring_points(r, arcs) for polygon in geometry["arcs"] for r in polygon]
    return []  # points and lines have no area to fill


def decode(topology, name="land"):
    """The object's rings as lists of (lon, lat) floats, closing point included."""
    if topology.get("type") != "Topology" or name not in topology.get("objects", {}):
        raise ValueError("not a topology with an object %r" % name)
    arcs = decode_arcs(topology)
    return rings_of(topology["objects"][name], arcs)


def clip(ring, keep, cut):
    """The ring's part on the kept side of a meridian (Sutherland-Hodgman against one
    half-plane): `keep(lon)` tells the side, `cut` is the meridian's longitude."""
    out = []
    for i, b in enumerate(ring):
        a = ring[i - 1]
        if keep(b[0]):
            if not keep(a[0]):
                out.append((cut, a[1] + (cut - a[0]) * (b[1] - a[1]) / (b[0] - a[0])))
            out.append(b)
        elif keep(a[0]):
            out.append((cut, a[1] + (cut - a[0]) * (b[1] - a[1]) / (b[0] - a[0])))
    return out


def split_at_antimeridian(rings):
    """Rings that cross the 180th meridian (Fiji, Chukotka) cut into a part on each side,
    each closed along the meridian: drawn as they come, their edge from 179.9 to -179.9
    would span the whole map. A ring that crosses it an odd number of times goes round a
    pole (Antarctica) and is already drawn as it should be."""
    out = []
    for ring in rings:
        jumps = [k for k in range(1, len(ring)) if abs(ring[k][0] - ring[k - 1][0]) > 180]
        if not jumps or len(jumps) % 2:
            out.append(ring)
            continue
        offset, unwrapped = 0.0, [ring[0]]
        for k in range(1, len(ring)):
            step = ring[k][0] - ring[k - 1][0]
            if step > 180:
                offset -= 360
            elif step < -180:
                offset += 360
            unwrapped.append((ring[k][0] + offset, ring[k][1]))
        for shift in (-360, 0, 360):
            part = [(lon + shift, lat) for lon, lat in unwrapped]
            part = clip(part, lambda lon: lon <= 180, 180.0)
            part = clip(part, lambda lon: lon >= -180, -180.0)
            if len(part) >= 3:
                out.append(part)
    return out


def hundredths(rings):
    """Rings in hundredths of a degree: repeated points after rounding and the closing
    point dropped, rings left with fewer than three points dropped."""
    out = []
    for ring in rings:
        points = []
        for lon, lat in ring:
            p = (round(lon * 100), round(lat * 100))
            if not -18000 <= p[0] <= 18000 or not -9000 <= p[1] <= 9000:
                raise ValueError("point out of range: %r" % ((lon, lat),))
            if not points or points[-1] != p:
                points.append(p)
        if len(points) > 1 and points[0] == points[-1]:
            points.pop()
        if len(points) >= 3:
            out.append(points)
    return out


def source(rings, origin):
    lines = [
        "// Generated by tools/land_outline.py from %s; do not edit." % origin,
        '#include "map/land.h"',
        "",
        "namespace geo {",
    ]
    if not rings:
        lines += ["", "Outline landOutline() { return {}; }", "", "}  // namespace geo", ""]
        return "\n".join(lines)
    lines.append("namespace {")
    lines.append("const std::int16_t kPoints[] = {")
    for ring in rings:
        flat = [str(v) for p in ring for v in p]
        for i in range(0, len(flat), 16):
            lines.append("    " + ",".join(flat[i : i + 16]) + ",")
    lines.append("};")
    lines.append("const std::uint16_t kRings[] = {")
    sizes = [str(len(r)) for r in rings]
    for i in range(0, len(sizes), 16):
        lines.append("    " + ",".join(sizes[i : i + 16]) + ",")
    lines.append("};")
    lines.append("}  // namespace")
    lines.append("")
    lines.append("Outline landOutline() { return {kPoints, kRings}; }")
    lines.append("")
    lines.append("}  // namespace geo")
    lines.append("")
    return "\n".join(lines)


def write_if_changed(path, text):
    try:
        with open(path, encoding="utf-8") as f:
            if f.read() == text:
                return
    except OSError:
        pass
    with open(path + ".part", "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(path + ".part", path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("input")
    parser.add_argument("output")
    parser.add_argument("--object", default="land")
    args = parser.parse_args()
    if not os.path.exists(args.input):
        print("land_outline: warning: %s is missing (run scripts/install-deps.sh); "
              "the map draws no land" % args.input, file=sys.stderr)
        write_if_changed(args.output, source([], "nothing"))
        return 0
    with open(args.input, encoding="utf-8") as f:
        topology = json.load(f)
    rings = hundredths(split_at_antimeridian(decode(topology, args.object)))
    for ring in rings:
        if len(ring) > 65535:
            raise ValueError("a ring of %d points" % len(ring))
    write_if_changed(args.output, source(rings, os.path.basename(args.input)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
