#!/usr/bin/python3
"""verdalo-cli over a Dask cluster: each input part looked up on some worker, one output
file per part, numbered in input order, so that joining them in that order gives exactly
what one run over all the inputs gives.

Usage: dask_lookup.py [--scheduler ADDRESS] [--workers N] [--block SIZE] [--cli PATH]
                      [--join FILE] --out DIR INPUT... [-- VERDALO-CLI-OPTIONS...]

INPUT is a file or a glob (its matches in name order). Each file is one part; with --block
(bytes, or with K, M or G), a file is cut into parts of about that size, each ending at a
line end. DIR gets part-00000.out, part-00001.out, ... in input order (such files left
there by an earlier run are removed first); --join FILE writes them joined too ("-":
standard output). Without --scheduler, a LocalCluster of --workers
processes on this machine, on the loopback only.

The workers read the inputs and write DIR under the same paths as here (one machine, or a
shared file system), and run verdalo-cli (--cli, default verdalo-cli on PATH) with the
options after "--". Only lookup: a summary of parts is no summary of the whole (an address
in two parts would count twice), and ranges reads no input. A UTF-16 file is never cut
(its line end is two bytes); a W3C log's later parts do not see its #Fields: line, so give
them --column. Exit status: 0, or 1 when any part failed (each failure said on standard
error), 2 on a usage error.
"""
import argparse
import glob
import os
import subprocess
import sys

# The words of verdalo-cli that make its output no line-for-line answer of its input.
NOT_PER_LINE = {"summary", "ranges"}


def size_of(text):
    units = {"K": 1 << 10, "M": 1 << 20, "G": 1 << 30}
    text = text.strip().upper()
    scale = units.get(text[-1:], 1)
    number = int(text[:-1] if text[-1:] in units else text)
    if number <= 0:
        raise ValueError(text)
    return number * scale


def inputs_of(patterns):
    """The files the patterns name, each pattern's matches in name order; a missing plain
    name stays, so that its part fails with verdalo-cli's own message."""
    files = []
    for pattern in patterns:
        matches = sorted(glob.glob(pattern)) if glob.has_magic(pattern) else [pattern]
        if not matches:
            raise SystemExit(f"dask_lookup: nothing matches {pattern}")
        files.extend(matches)
    return files


def line_end_after(f, at, size):
    """The offset just past the first line end at or after `at`; `size` when there is none."""
    f.seek(at)
    while at < size:
        chunk = f.read(1 << 16)
        if not chunk:
            return size
        nl = chunk.find(b"\n")
        if nl >= 0:
            return at + nl + 1
        at += len(chunk)
    return size


def parts_of(path, block):
    """(path, start, length) of each part of the file; length None for the whole file."""
    if block is None or not os.path.isfile(path):
        return [(path, 0, None)]
    size = os.path.getsize(path)
    with open(path, "rb") as f:
        if f.read(2) in (b"\xff\xfe", b"\xfe\xff"):
            return [(path, 0, None)]
        parts, start = [], 0
        while start < size:
            end = line_end_after(f, min(start + block, size), size) if start + block < size else size
            parts.append((path, start, end - start))
            start = end
    return parts or [(path, 0, 0)]


def run_part(cli, options, path, start, length, out):
    """On a worker: verdalo-cli over one part into `out`; its exit status and messages."""
    try:
        return run_cli(cli, options, path, start, length, out)
    except OSError as e:  # no such program there, an unreadable part, a full disk
        return 127, f"dask_lookup: {e}\n"


def run_cli(cli, options, path, start, length, out):
    with open(out, "wb") as sink:
        if length is None:
            p = subprocess.run([cli] + options + ["--", path], stdout=sink, stderr=subprocess.PIPE)
        else:
            with open(path, "rb") as f:
                f.seek(start)
                data = f.read(length)
            p = subprocess.run([cli] + options + ["-"], input=data, stdout=sink,
                               stderr=subprocess.PIPE)
    return p.returncode, p.stderr.decode("utf-8", "replace")


def join(outputs, target):
    sink = sys.stdout.buffer if target == "-" else open(target, "wb")
    try:
        for out in outputs:
            with open(out, "rb") as f:
                while chunk := f.read(1 << 20):
                    sink.write(chunk)
    finally:
        if sink is not sys.stdout.buffer:
            sink.close()
        else:
            sink.flush()


def main(argv):
    own, options = (argv[:argv.index("--")], argv[argv.index("--") + 1:]) if "--" in argv else (argv, [])
    parser = argparse.ArgumentParser(prog="dask_lookup.py", description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--scheduler", help="address of a running Dask scheduler")
    parser.add_argument("--workers", type=int, default=2, help="LocalCluster processes (default 2)")
    parser.add_argument("--block", type=size_of, help="cut files into parts of about this size")
    parser.add_argument("--cli", default="verdalo-cli", help="the program, as the workers find it")
    parser.add_argument("--join", help="also write the parts joined here (- for standard output)")
    parser.add_argument("--out", required=True, help="folder for part-NNNNN.out")
    parser.add_argument("inputs", nargs="+", help="files or globs")
    args = parser.parse_args(own)
    if args.workers < 1:
        parser.error("--workers must be at least 1")
    if NOT_PER_LINE & set(options):
        parser.error("only lookup runs in parts: summary and ranges give no line for each line")

    # Imported here so that --help works without Dask.
    from distributed import Client, LocalCluster

    parts = [p for path in inputs_of(args.inputs) for p in parts_of(path, args.block)]
    os.makedirs(args.out, exist_ok=True)
    # A part left by an earlier run with more parts would be taken for one of this run's.
    for stale in glob.glob(os.path.join(args.out, "part-[0-9][0-9][0-9][0-9][0-9].out")):
        os.remove(stale)
    outputs = [os.path.join(os.path.abspath(args.out), f"part-{i:05d}.out") for i in range(len(parts))]
    cli = os.path.abspath(args.cli) if os.sep in args.cli else args.cli
    cluster = None
    if args.scheduler:
        client = Client(args.scheduler)
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                               host="127.0.0.1", dashboard_address=None)
        client = Client(cluster)
    try:
        futures = [client.submit(run_part, cli, options, os.path.abspath(path), start, length, out,
                                 pure=False)
                   for (path, start, length), out in zip(parts, outputs)]
        results = client.gather(futures)
    finally:
        client.close()
        if cluster:
            cluster.close()
    failed = False
    for (path, start, length), (code, err) in zip(parts, results):
        if err:
            sys.stderr.write(err)
        if code != 0:
            failed = True
            where = path if length is None else f"{path} bytes {start}-{start + length}"
            sys.stderr.write(f"dask_lookup: {where}: verdalo-cli exited with {code}\n")
    if args.join and not failed:
        join(outputs, args.join)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
