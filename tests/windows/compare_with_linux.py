#!/usr/bin/env python3
"""Checks that quorvel-cli.exe under Wine does what the Linux quorvel-cli does.

    compare_with_linux.py LINUX_CLI WINDOWS_CLI WINE_PREFIX [--files N]

Over the examples and a generated corpus (bench/make_corpus.py, N files per format and
its two large files at a few MB, past the 64 pages an image once held, and
damaged copies of its smaller files: cut short, a byte changed, a header field changed),
runs smf0, smf1 and kar with both programs into fresh folders and compares the result
lines (CR LF read as LF) and every output file byte for byte. Prints one line per batch
and a closing "N passed, N failed" line; exits 1 on any difference.
"""
import argparse
import filecmp
import os
import random
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def damaged_copies(source_dir, target_dir, rng, limit):
    """Writes up to limit damaged variants of the smaller files of source_dir."""
    written = 0
    names = sorted(n for n in os.listdir(source_dir) if os.path.getsize(os.path.join(source_dir, n)) < 160 * 1024)
    for name in names:
        data = open(os.path.join(source_dir, name), "rb").read()
        stem = os.path.splitext(name)[0]
        variants = {
            "cut": data[: rng.randrange(1, len(data))],
            "byte": bytearray(data),
            "tracks": bytearray(data),
            "tail": data + bytes(rng.randrange(1, 9)),
        }
        variants["byte"][rng.randrange(14, len(data))] = rng.randrange(256)
        variants["tracks"][10:12] = rng.randrange(65536).to_bytes(2, "big")
        for kind, bytes_ in variants.items():
            if written >= limit:
                return written
            with open(os.path.join(target_dir, f"{stem}_{kind}.mid"), "wb") as f:
                f.write(bytes(bytes_))
            written += 1
    return written


def run(command, cwd):
    result = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    lines = result.stdout.replace(b"\r\n", b"\n").decode("utf-8", "replace").splitlines()
    return result.returncode, lines, result.stderr.decode("utf-8", "replace")


def wine_crashed(error_output):
    """True when Wine reported a crash of the program (its debugger's report)."""
    return "Unhandled page fault" in error_output or "Unhandled exception" in error_output


def same_trees(a, b):
    names_a = sorted(os.listdir(a))
    names_b = sorted(os.listdir(b))
    if names_a != names_b:
        return f"different files: {sorted(set(names_a) ^ set(names_b))[:5]}"
    for name in names_a:
        if not filecmp.cmp(os.path.join(a, name), os.path.join(b, name), shallow=False):
            return f"{name} differs"
    return None


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("linux_cli")
    ap.add_argument("windows_cli")
    ap.add_argument("wine_prefix")
    ap.add_argument("--files", type=int, default=130, help="corpus files per format (default 130)")
    ap.add_argument("--minimum", type=int, default=1000, help="fewest files to compare over (default 1000)")
    args = ap.parse_args()

    wine = [os.path.join(ROOT, "cmake", "wine-run"), os.path.abspath(args.wine_prefix),
            os.path.abspath(args.windows_cli)]
    linux = [os.path.abspath(args.linux_cli)]
    work = tempfile.mkdtemp(prefix="quorvel-compare-")
    try:
        inputs = os.path.join(work, "in")
        corpus = os.path.join(work, "corpus")
        os.makedirs(inputs)
        subprocess.run([sys.executable, os.path.join(ROOT, "bench", "make_corpus.py"), corpus,
                        "--files", str(args.files), "--big-mb", "2"], check=True, stdout=subprocess.DEVNULL)
        for folder in ("smf0", "smf1", "large"):
            for name in os.listdir(os.path.join(corpus, folder)):
                shutil.copy(os.path.join(corpus, folder, name), os.path.join(inputs, f"{folder}_{name}"))
        for name in os.listdir(os.path.join(ROOT, "examples")):
            if name.lower().endswith((".mid", ".kar")):
                shutil.copy(os.path.join(ROOT, "examples", name), os.path.join(inputs, f"example_{name}"))
        rng = random.Random(20261209)
        damaged_copies(os.path.join(corpus, "smf1"), inputs, rng, 4 * args.files)
        damaged_copies(os.path.join(corpus, "smf0"), inputs, rng, 4 * args.files)
        shutil.rmtree(corpus)
        count = len(os.listdir(inputs))
        print(f"comparing over {count} files")
        if count < args.minimum:
            print(f"windows-compare: 0 passed, 1 failed (only {count} files, {args.minimum} wanted)")
            return 1

        passed = failed = 0
        for batch in ("smf0", "smf1", "kar"):
            outs = {}
            for side, program in (("linux", linux), ("windows", wine)):
                out = os.path.join(work, f"{batch}-{side}")
                os.makedirs(out)
                command = program + [batch, "-j", "2", "-o", out, inputs]
                outs[side] = (out, *run(command, work))
                if side == "windows" and (not outs[side][2] or wine_crashed(outs[side][3])):
                    # Not one line: Wine did not get the program going (seen once, with
                    # status 0). Or Wine's own crash report (seen once in about fifty runs,
                    # a page fault inside Wine's ntdll, not reproduced since). Said, and
                    # tried once more into a fresh folder; a second time fails.
                    print(f"note: {batch} under Wine printed {len(outs[side][2])} lines, status {outs[side][1]} "
                          f"({outs[side][3].strip()[-300:]!r}); running it again")
                    shutil.rmtree(out)
                    os.makedirs(out)
                    outs[side] = (out, *run(command, work))
            (lin_dir, lin_status, lin_lines, lin_err), (win_dir, win_status, win_lines, win_err) = \
                outs["linux"], outs["windows"]
            problem = None
            if lin_status != win_status:
                problem = (f"exit status {lin_status} on Linux, {win_status} under Wine; "
                           f"{len(lin_lines)} and {len(win_lines)} lines, last {lin_lines[-1:]} and {win_lines[-1:]}; "
                           f"Wine's error output {win_err.strip()[-300:]!r}")
            elif lin_lines != win_lines:
                diff = next(((a, b) for a, b in zip(lin_lines, win_lines) if a != b), None)
                problem = f"result lines differ ({len(lin_lines)} and {len(win_lines)} lines; first: {diff})"
            else:
                problem = same_trees(lin_dir, win_dir)
            converted = len(os.listdir(lin_dir))
            if problem:
                failed += 1
                print(f"FAIL {batch}: {problem}")
            else:
                passed += 1
                print(f"ok   {batch}: {converted} outputs and {len(lin_lines)} result lines identical")
        print(f"windows-compare: {passed} passed, {failed} failed")
        return 1 if failed else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
