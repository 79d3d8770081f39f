#!/usr/bin/python3
"""tools/land_outline.py against small hand-written topologies: quantized delta-encoded
arcs, arcs shared between rings and walked backwards by ~index, holes, the 180th meridian,
and the generated source with and without the input.
Usage: land_outline_test.py PATH/TO/land_outline.py"""
import importlib.util
import json
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(__file__), "..", "..", "tools", "land_outline.py")
found = importlib.util.spec_from_file_location("land_outline", SCRIPT)
L = importlib.util.module_from_spec(found)
found.loader.exec_module(L)

# Two squares side by side sharing their middle edge (arc 1), the right one walking it
# backwards; quantized to a 0.5-degree grid from (10, 20).
#   (0,0)-(0,4) arc 0: the left square's outer three sides, from (2,0) round to (2,4)
#   arc 1: the shared edge (2,4) -> (2,0)
#   arc 2: the right square's outer three sides, from (2,4) round to (2,0)
QUANTIZED = {
    "type": "Topology",
    "transform": {"scale": [0.5, 0.5], "translate": [10, 20]},
    "objects": {"land": {"type": "GeometryCollection", "geometries": [
        {"type": "Polygon", "arcs": [[0, 1]]},
        {"type": "MultiPolygon", "arcs": [[[2, ~1]]]},
        {"type": "LineString", "arcs": [0]},
    ]}},
    "arcs": [
        [[2, 0], [-2, 0], [0, 4], [2, 0]],   # (2,0) (0,0) (0,4) (2,4)
        [[2, 4], [0, -4]],                   # (2,4) (2,0)
        [[2, 4], [2, 0], [0, -4], [-2, 0]],  # (2,4) (4,4) (4,0) (2,0)
    ],
}


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def grid(points):
    return [(10 + 0.5 * x, 20 + 0.5 * y) for x, y in points]


class Decode(unittest.TestCase):
    def test_shared_reversed_quantized_arcs(self):
        rings = L.decode(QUANTIZED)
        self.assertEqual(len(rings), 2)  # the line has no area
        self.assertEqual(rings[0], grid([(2, 0), (0, 0), (0, 4), (2, 4), (2, 0)]))
        # ~1 walks (2,0) -> (2,4) from where arc 2 ended: that point is taken once.
        self.assertEqual(rings[1], grid([(2, 4), (4, 4), (4, 0), (2, 0), (2, 4)]))

    def test_absolute_arcs_holes_and_bad_input(self):
        topology = {"type": "Topology", "objects": {"land": {"type": "Polygon", "arcs": [[0], [~1]]}},
                    "arcs": [[[0, 0], [10, 0], [10, 10], [0, 10], [0, 0]],
                             [[2, 2], [4, 2], [4, 4], [2, 2]]]}
        rings = L.decode(topology)
        self.assertEqual(rings[1], [(2, 2), (4, 4), (4, 2), (2, 2)])
        self.assertEqual(L.hundredths(rings)[1], [(200, 200), (400, 400), (400, 200)])
        topology["objects"]["land"]["arcs"] = [[5]]
        with self.assertRaises(ValueError):
            L.decode(topology)
        topology["objects"]["land"]["arcs"] = [[~2]]
        with self.assertRaises(ValueError):
            L.decode(topology)
        with self.assertRaises(ValueError):
            L.decode(topology, "countries")

    def test_hundredths_drops_repeats_and_slivers(self):
        rings = [[(0.001, 0), (0.002, 0), (1, 0), (1, 1), (0, 0)],
                 [(0, 0), (0.001, 0.001), (0, 0)]]
        self.assertEqual(L.hundredths(rings), [[(0, 0), (100, 0), (100, 100)]])
        with self.assertRaises(ValueError):
            L.hundredths([[(181, 0), (0, 0), (0, 1)]])


class Antimeridian(unittest.TestCase):
    def test_a_ring_across_the_date_line_is_cut_in_two(self):
        ring = [(178, -16), (-178, -16), (-178, -18), (178, -18), (178, -16)]
        parts = L.split_at_antimeridian([ring])
        self.assertEqual(len(parts), 2)
        for part in parts:
            lons = [lon for lon, _ in part]
            self.assertTrue(all(-180 <= lon <= 180 for lon in lons))
            self.assertLessEqual(max(lons) - min(lons), 2 + 1e-9)  # no edge spans the map
        self.assertEqual(sorted(round(min(lon for lon, _ in p)) for p in parts), [-180, 178])

    def test_rings_round_a_pole_or_clear_of_the_line_stay(self):
        antarctica = [(-180, -80), (0, -70), (180, -80), (-180, -85), (-180, -80)]
        island = [(10, 10), (11, 10), (11, 11)]
        self.assertEqual(L.split_at_antimeridian([antarctica, island]), [antarctica, island])


class Source(unittest.TestCase):
    def test_generated_with_and_without_the_input(self):
        with tempfile.TemporaryDirectory() as tmp:
            topo = os.path.join(tmp, "land.json")
            with open(topo, "w") as f:
                json.dump(QUANTIZED, f)
            out = os.path.join(tmp, "land.cpp")
            subprocess.run([sys.executable, SCRIPT, topo, out], check=True)
            text = read(out)
            self.assertIn("kRings[] = {\n    4,4,\n};", text)
            self.assertIn("1100,2000,1000,2000,1000,2200,1100,2200,", text)
            missing = subprocess.run([sys.executable, SCRIPT, os.path.join(tmp, "none.json"), out],
                                     capture_output=True, text=True)
            self.assertEqual(missing.returncode, 0)
            self.assertIn("missing", missing.stderr)
            self.assertIn("Outline landOutline() { return {}; }", read(out))


if __name__ == "__main__":
    unittest.main()
