#!/usr/bin/env bash
# Times quorvel-cli against the floor (cp of the same files) and a peer (Python mido
# merging the same format-1 file), and the Qt window's batch against quorvel-cli, and
# prints one table.
#
#   bench/run.sh [--files N] [--big-mb M] [--tree-files T] [--runs R] [--callgrind] [--no-mido] [--keep]
#
#   --files N      files per format in the generated corpus (default 2000)
#   --big-mb M     size of the two single large files in MB (default 100); the two files of
#                  16 and 256 tracks (16 MB) and the 16 files of eight/ (8 MB each) get M MB
#                  when M is smaller; 0: none of them
#   --tree-files T files in the nested folders of the tree case (default 2000; 0: none)
#   --runs R       timed repetitions of each command; the table shows the median (default 5)
#   --callgrind    also count the instructions of the -j 1 conversions of the two
#                  collections and of each single large file with valgrind's callgrind, per
#                  input byte: slow, but the same on any machine, busy or not
#   --no-mido      leave out the peer (mido takes minutes on the large file)
#   --keep         keep the working folder (corpus and outputs) and print its path
#
# Environment: BUILD_DIR (default build/release, configured by the release preset),
# BENCH_TMP (where the working folder goes, default $TMPDIR or /tmp), QUORVEL_CLI (time
# this quorvel-cli binary instead of the one built here), MIDO_TIMEOUT (seconds the one
# mido run on the large file may take, default 900) and MIDO_MEMORY_KB (its ulimit -v,
# default 8000000).
#
# Steps: install what is missing, build quorvel-cli, engine_bench and batch_timing (the
# window's batch, when the build has the Qt window) optimised, write the corpus, then
# time. Build and corpus generation are outside every timing; every repetition writes
# into a fresh, empty output folder. Run it on a quiet machine.
set -euo pipefail
cd "$(dirname "$0")/.."

files=2000
big_mb=100
tree_files=2000
runs=5
callgrind=0
mido=1
keep=0
while [ $# -gt 0 ]; do
  case "$1" in
    --files) files="$2"; shift 2 ;;
    --big-mb) big_mb="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --callgrind) callgrind=1; shift ;;
    --keep) keep=1; shift ;;
    --tree-files) tree_files="$2"; shift 2 ;;
    --no-mido) mido=0; shift ;;
    -h|--help) sed -n '2,29p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "bench/run.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done

# --- what the benchmark needs ---------------------------------------------------
bash scripts/install-deps
extra=()
for p in hyperfine time python3-mido valgrind; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || extra+=("$p")
done
if [ ${#extra[@]} -gt 0 ]; then
  echo "Installing: ${extra[*]}" >&2
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${extra[@]}" >/dev/null
fi

# The Python that has mido (Debian's, even when another python3 comes first in PATH).
py=""
for candidate in python3 /usr/bin/python3; do
  if command -v "$candidate" >/dev/null && "$candidate" -c "import mido" 2>/dev/null; then
    py="$(command -v "$candidate")"
    break
  fi
done
[ -n "$py" ] || { echo "bench/run.sh: no python3 with mido found" >&2; exit 1; }

# --- build -----------------------------------------------------------------------
build="${BUILD_DIR:-build/release}"
if [ -z "${BUILD_DIR:-}" ]; then
  cmake --preset release >/dev/null
else
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_BENCH=ON >/dev/null
fi
# bench/ writes where batch_timing is built when the build has the Qt window.
window=()
if [ -f "$build/bench/batch_timing.path" ]; then
  window=(batch_timing)
else
  echo "bench/run.sh: no Qt window in $build, the window case is left out" >&2
fi
if [ -n "${QUORVEL_CLI:-}" ]; then
  cmake --build "$build" --target engine_bench "${window[@]}" -j "$(nproc)" >/dev/null
  cli="$(realpath "$QUORVEL_CLI")"
else
  cmake --build "$build" --target quorvel-cli engine_bench "${window[@]}" -j "$(nproc)" >/dev/null
  cli="$(cd "$build" && pwd)/cli/quorvel-cli"
fi
[ -x "$cli" ] || { echo "bench/run.sh: $cli was not built" >&2; exit 1; }
timing=""
if [ ${#window[@]} -gt 0 ]; then
  timing="$(cat "$build/bench/batch_timing.path")"
  [ -x "$timing" ] || { echo "bench/run.sh: $timing was not built" >&2; exit 1; }
fi

# --- corpus ----------------------------------------------------------------------
work="$(mktemp -d "${BENCH_TMP:-${TMPDIR:-/tmp}}/quorvel-bench.XXXXXX")"
if [ "$keep" -eq 1 ]; then
  echo "Working folder: $work" >&2
else
  trap 'rm -rf "$work"' EXIT
fi
corpus="$work/corpus"
out="$work/out"
results="$work/results"
mkdir -p "$results"
echo "Writing the corpus ($files files per format, large files of $big_mb MB)..." >&2
"$py" bench/make_corpus.py "$corpus" --files "$files" --big-mb "$big_mb"


# --- timing ----------------------------------------------------------------------
jobs="$(nproc)"
echo "# case|input|files|bytes|seconds|cpu_seconds|peak_kb|baseline|single|note" > "$results/rows"

# measure NAME INPUT_LABEL BASELINE FILE... -- COMMAND...
# Times COMMAND (which writes into $out; run without a shell) $runs times after one
# warm-up, each run into a fresh $out, with the removal of the last one's files written
# to disk first (so that no run pays for the one before); then runs it once more under /usr/bin/time for
# the peak resident set, and checks that it wrote one file per input. With --callgrind
# and COUNT=1, also counts its instructions once. SINGLE names the row of the same
# conversion with -j 1: the table shows the speed-up over it.
measure() {
  local name="$1" label="$2" baseline="$3"
  shift 3
  local inputs=()
  while [ "$1" != "--" ]; do inputs+=("$1"); shift; done
  shift
  local cmd
  cmd="$(printf '%q ' "$@")"
  local count bytes
  count=${#inputs[@]}
  bytes=$(cat "${inputs[@]}" | wc -c)
  echo "Timing $name ($count files, $runs runs)..." >&2
  if ! hyperfine -N --style none --runs "$runs" --warmup 1 \
      --prepare "$(printf '%q ' sh -c 'rm -rf "$0" && mkdir "$0" && sync' "$out")" \
      --export-json "$results/$name.json" "$cmd" >"$results/$name.log" 2>&1; then
    cat "$results/$name.log" >&2
    exit 1
  fi
  rm -rf "$out" && mkdir "$out"
  /usr/bin/time -v -o "$results/$name.time" "$@" >/dev/null
  local made
  made=$(find "$out" -type f | wc -l)
  if [ "$made" -ne "$count" ]; then
    echo "bench/run.sh: $name wrote $made files for $count inputs" >&2
    exit 1
  fi
  local median cpu peak
  read -r median cpu < <("$py" -c '
import json, sys
r = json.load(open(sys.argv[1]))["results"][0]
print(r["median"], r["user"] + r["system"])' "$results/$name.json")
  peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$results/$name.time")
  local instructions=""
  if [ "$callgrind" -eq 1 ] && [ "${COUNT:-0}" -eq 1 ]; then
    echo "Counting the instructions of $name..." >&2
    rm -rf "$out" && mkdir "$out"
    valgrind --tool=callgrind --callgrind-out-file="$results/$name.callgrind" "$@" >/dev/null 2>"$results/$name.cg"
    instructions=$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$results/$name.cg")
  fi
  echo "$name|$label|$count|$bytes|$median|$cpu|$peak|$baseline|${SINGLE:-}|$instructions" >> "$results/rows"
}

# once NAME INPUT_LABEL BASELINE INPUT -- COMMAND...
# Runs a slow peer once, bounded by timeout and ulimit -v, into a fresh $out, and notes
# its wall time and peak memory, or how it ended.
once() {
  local name="$1" label="$2" baseline="$3" input="$4"
  shift 5
  local limit_s="${MIDO_TIMEOUT:-900}" limit_kb="${MIDO_MEMORY_KB:-8000000}"
  local bytes status=0
  bytes=$(wc -c < "$input")
  echo "Running $name once (at most $limit_s s and $limit_kb KB)..." >&2
  rm -rf "$out" && mkdir "$out"
  /usr/bin/time -f "%e %M" -o "$results/$name.time" \
    timeout "$limit_s" bash -c 'ulimit -v "$0" && exec "$@"' "$limit_kb" "$@" >"$results/$name.log" 2>&1 ||
    status=$?
  local seconds peak note=""
  read -r seconds peak < <(tail -n 1 "$results/$name.time")
  if [ "$status" -eq 124 ]; then
    note="stopped after $limit_s s"
  elif [ "$status" -ne 0 ]; then
    note="failed, exit $status: $(tail -n 1 "$results/$name.log" | cut -c1-60 | tr '|' '/')"
  fi
  echo "$name|$label|1|$bytes|$seconds|0|$peak|$baseline||$note" >> "$results/rows"
}

smf1_files=("$corpus"/smf1/*.mid)
smf0_files=("$corpus"/smf0/*.mid)
large1="$corpus/large/large1.mid"
large0="$corpus/large/large0.mid"
tracks16="$corpus/large/tracks16.mid"
tracks256="$corpus/large/tracks256.mid"

measure "cp format 1" "corpus format 1" "" "${smf1_files[@]}" -- cp -r "$corpus/smf1" "$out/"
COUNT=1 measure "smf0 -j 1" "corpus format 1" "cp format 1" "${smf1_files[@]}" -- \
  "$cli" smf0 -q -f -j 1 -o "$out" "$corpus/smf1"
# quorvel-cli's own choice of -j (no -j given).
SINGLE="smf0 -j 1" measure "smf0 default -j" "corpus format 1" "cp format 1" "${smf1_files[@]}" -- \
  "$cli" smf0 -q -f -o "$out" "$corpus/smf1"
SINGLE="smf0 -j 1" measure "smf0 -j $jobs" "corpus format 1" "cp format 1" "${smf1_files[@]}" -- \
  "$cli" smf0 -q -f -j "$jobs" -o "$out" "$corpus/smf1"
# The window: one smf0 batch in the Qt main window, offscreen, from its start to the
# results list, against quorvel-cli smf0 with its default -j on the same files.
if [ -n "$timing" ]; then
  measure "cli smf0" "corpus format 1" "cp format 1" "${smf1_files[@]}" -- \
    "$cli" smf0 -q -f -o "$out" "$corpus/smf1"
  measure "window smf0" "corpus format 1" "cli smf0" "${smf1_files[@]}" -- \
    env QT_QPA_PLATFORM=offscreen "$timing" --kind smf0 "$corpus/smf1" "$out"
fi
# The web page's engine: its module (bash scripts/web) under Node, reading each file and
# writing its output as the page's downloads would, against quorvel-cli smf0 -j 1.
web_module=build/web/quorvel-module.js
if [ -f "$web_module" ] && command -v node >/dev/null 2>&1; then
  measure "page smf0" "corpus format 1" "smf0 -j 1" "${smf1_files[@]}" -- \
    node bench/web_batch.mjs "$web_module" smf0 "$corpus/smf1" "$out"
else
  echo "bench/run.sh: no $web_module (bash scripts/web builds it), the page case is left out" >&2
fi
measure "cp format 0" "corpus format 0" "" "${smf0_files[@]}" -- cp -r "$corpus/smf0" "$out/"
COUNT=1 measure "smf1 -j 1" "corpus format 0" "cp format 0" "${smf0_files[@]}" -- \
  "$cli" smf1 -q -f -j 1 -o "$out" "$corpus/smf0"
SINGLE="smf1 -j 1" measure "smf1 -j $jobs" "corpus format 0" "cp format 0" "${smf0_files[@]}" -- \
  "$cli" smf1 -q -f -j "$jobs" -o "$out" "$corpus/smf0"
if [ "$big_mb" -gt 0 ]; then
  measure "cp large1" "large1.mid" "" "$large1" -- cp "$large1" "$out/"
  COUNT=1 measure "smf0 large1" "large1.mid" "cp large1" "$large1" -- "$cli" smf0 -q -f -o "$out" "$large1"
  measure "cp large0" "large0.mid" "" "$large0" -- cp "$large0" "$out/"
  COUNT=1 measure "smf1 large0" "large0.mid" "cp large0" "$large0" -- "$cli" smf1 -q -f -o "$out" "$large0"
  if [ "$mido" -eq 1 ]; then
    once "mido large1" "large1.mid" "smf0 large1" "$large1" -- "$py" bench/mido_merge.py "$out" "$large1"
  fi
  # The merge's cost per byte by track count: two format-1 files of the same size and
  # the same kind of events, one of 16 tracks and one of 256 (the most it takes).
  measure "cp tracks16" "tracks16.mid" "" "$tracks16" -- cp "$tracks16" "$out/"
  COUNT=1 measure "smf0 tracks16" "tracks16.mid" "cp tracks16" "$tracks16" -- \
    "$cli" smf0 -q -f -o "$out" "$tracks16"
  COUNT=1 measure "smf0 tracks256" "tracks256.mid" "cp tracks16" "$tracks256" -- \
    "$cli" smf0 -q -f -o "$out" "$tracks256"
  # Sixteen big format-1 files (eight/, 8 MB each), where the conversions themselves
  # take the time: one at a time, and with quorvel-cli's own choice of -j.
  eight_files=("$corpus"/eight/*.mid)
  measure "cp eight" "eight" "" "${eight_files[@]}" -- cp -r "$corpus/eight" "$out/"
  measure "smf0 eight -j 1" "eight" "cp eight" "${eight_files[@]}" -- \
    "$cli" smf0 -q -f -j 1 -o "$out" "$corpus/eight"
  SINGLE="smf0 eight -j 1" measure "smf0 eight" "eight" "cp eight" "${eight_files[@]}" -- \
    "$cli" smf0 -q -f -o "$out" "$corpus/eight"
fi

# --- tree ------------------------------------------------------------------------
# A collection as folders hold it: tree_files format-1 files in nested folders
# (make_corpus.py --tree), converted with -r into a mirrored tree, against copying
# the same files into the same folders.
tree_case() {
  local tree="$work/tree-corpus/tree"
  echo "Writing the tree ($tree_files files in nested folders)..." >&2
  "$py" bench/make_corpus.py "$work/tree-corpus" --tree "$tree_files"
  local tree_inputs=()
  mapfile -d '' tree_inputs < <(find "$tree" -type f -iname '*.mid' -print0 | sort -z)
  # The floor walks the tree too: find lists the MIDI files, cp --parents rebuilds their folders.
  measure "cp tree" "tree" "" "${tree_inputs[@]}" -- \
    sh -c 'cd "$0" && find . -type f -iname "*.mid" -exec cp --parents -t "$1" {} +' "$tree" "$out"
  measure "smf0 -r -j 1" "tree" "cp tree" "${tree_inputs[@]}" -- \
    "$cli" smf0 -r -q -f -j 1 -o "$out" "$tree"
  SINGLE="smf0 -r -j 1" measure "smf0 -r -j $jobs" "tree" "cp tree" "${tree_inputs[@]}" -- \
    "$cli" smf0 -r -q -f -j "$jobs" -o "$out" "$tree"
}
if [ "$tree_files" -gt 0 ]; then
  tree_case
fi

# --- table -----------------------------------------------------------------------
"$py" - "$results/rows" "$runs" "$jobs" <<'EOF'
import sys

rows = {}
order = []
for line in open(sys.argv[1]):
    if line.startswith("#"):
        continue
    name, label, count, size, seconds, cpu, peak, baseline, single, note = line.rstrip("\n").split("|")
    rows[name] = dict(label=label, count=int(count), bytes=int(size), s=float(seconds), cpu=float(cpu),
                      peak=int(peak or 0), baseline=baseline, single=single, note=note)
    order.append(name)
jobs = sys.argv[3]

print()
print("Median wall time of %s runs (mido: one run); cpu s: mean user + system time." % sys.argv[2])
print("MB = 10^6 bytes; files/s and MB/s from the median wall time; peak RSS of one run.")
print("ratio: wall seconds over those of cp of the same files (cpu seconds in brackets);")
print("-j %s and default -j rows (smf0 default -j, smf0 eight): speed-up over -j 1 too;" % jobs)
print("mido: times slower than quorvel-cli.")
print("window smf0: the whole window program over those of quorvel-cli smf0 (default -j).")
print("page smf0: the web page's module under Node over quorvel-cli smf0 -j 1.")
print("instr/B: user-mode instructions per input byte, counted by callgrind (--callgrind).")
print()
head = ("case", "input", "files", "MB", "median s", "cpu s", "files/s", "MB/s", "peak RSS MB", "ratio",
        "instr/B")
table = [head]
def rate(v):
    return "%.0f" % v if v >= 100 else "%.3g" % v
for name in order:
    r = rows[name]
    ratio, instr = "", ""
    if r["note"].isdigit():
        instr = "%.1f" % (int(r["note"]) / r["bytes"])
    if name.startswith("mido"):
        ratio = r["note"] or "%.0fx slower than %s" % (r["s"] / rows[r["baseline"]]["s"], r["baseline"])
    elif r["baseline"]:
        b = rows[r["baseline"]]
        ratio = "%.2fx (cpu %.2fx) %s" % (r["s"] / b["s"], r["cpu"] / b["cpu"] if b["cpu"] else 0, r["baseline"])
        if r["single"] in rows:
            ratio += "; %.2fx faster than -j 1" % (rows[r["single"]]["s"] / r["s"])
    table.append((name, r["label"], str(r["count"]), "%.2f" % (r["bytes"] / 1e6), "%.4f" % r["s"],
                  "%.4f" % r["cpu"] if r["cpu"] else "", rate(r["count"] / r["s"]),
                  "%.1f" % (r["bytes"] / 1e6 / r["s"]), "%.1f" % (r["peak"] / 1024), ratio, instr))
widths = [max(len(row[i]) for row in table) for i in range(len(head))]
left = {0, 1, 9}
def line(row):
    return "| " + " | ".join(c.ljust(w) if i in left else c.rjust(w)
                             for i, (c, w) in enumerate(zip(row, widths))) + " |"
print(line(head))
print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
for row in table[1:]:
    print(line(row))
EOF
