#!/usr/bin/env bash
# compare_gzip.sh -- times whole lzss runs against gzip on the same data, side by side, so that
# the speed of the machine cancels out of the ratios.
#
#   bench/compare_gzip.sh [runs]          (default 7 runs per command; the median is reported)
#
# LZSS=path/to/lzss times another build of lzss (an older one, say) with the same corpora.
#
# Builds a Release tree in build/release, assembles the game-like corpus into
# build/release/bench-scratch/ (once) and uses the Canterbury corpus from the shared folder beside
# the repository. For each corpus, lzss packs the corpus's files into one archive and unpacks it
# again, while gzip -6 packs, and gzip -d unpacks, the corpus's files concatenated into one file.
# All input comes from the page cache; all output goes to files in the scratch folder.
# MB/s is 10^6 bytes of uncoded data per second. Peak memory is the maximum resident set size
# from /usr/bin/time -v. The last line times unpacking thousands of small files against
# `cp -r` of the same tree.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-7}
shared=${TRV_SHARED_DIR:-$PWD/../shared}
canterbury=$shared/corpus/canterbury
for tool in hyperfine gzip python3 /usr/bin/time; do
    if ! command -v "$tool" >/dev/null; then
        echo "compare_gzip.sh: $tool is missing (Debian packages: hyperfine, gzip, python3, time)" >&2
        exit 2
    fi
done
if [ ! -d "$canterbury" ]; then
    echo "compare_gzip.sh: no Canterbury corpus in $canterbury" >&2
    exit 2
fi

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release --target lzss codec_bench >/dev/null
lzss=${LZSS:-$PWD/build/release/lzss}
scratch=$PWD/build/release/bench-scratch
mkdir -p "$scratch"

# The game corpus is deterministic for a machine; build it once.
if [ ! -f "$scratch/game/MANIFEST.sha256" ] || [ ! -f "$scratch/game.list" ]; then
    bash "$shared/corpus/make_game_corpus.sh" "$scratch/game" "$scratch/game.list" >/dev/null
fi
(cd "$canterbury" && ls) > "$scratch/canterbury.list"

# Median seconds of a command, from hyperfine's JSON. Before each run the `prepare` command
# removes the previous output and `sync` writes back what earlier runs left dirty, so that no
# run pays for another's file system work.
median_seconds() {
    local prepare=$1
    shift
    hyperfine -N --style none --warmup 1 --runs "$runs" --prepare "sh -c '$prepare && sync'" \
        --export-json "$scratch/timing.json" "$@" >/dev/null 2>&1
    python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["median"])' \
        "$scratch/timing.json"
}

# Peak resident set size, in KiB, of one run of a command.
peak_kib() {
    /usr/bin/time -v "$@" 2>&1 >/dev/null | awk '/Maximum resident set size/ { print $NF }'
}

# One line: what, uncoded bytes, gzip seconds, lzss seconds, lzss peak KiB, target ratio.
report() {
    python3 - "$@" <<'EOF'
import sys
what, size, gzip_s, lzss_s, peak, target = sys.argv[1:]
size, gzip_s, lzss_s, target = int(size), float(gzip_s), float(lzss_s), float(target)
ratio = gzip_s / lzss_s
print(f"{what:22s} {size / 1e6:7.1f} MB  gzip {size / 1e6 / gzip_s:7.1f} MB/s  "
      f"lzss {size / 1e6 / lzss_s:7.1f} MB/s  ratio {ratio:5.2f}x (target {target:.1f}x, "
      f"{'met' if ratio >= target else 'NOT met'})  lzss peak {int(peak) / 1024:5.1f} MiB")
EOF
}

# bench_corpus NAME FOLDER LIST ENCODE_TARGET DECODE_TARGET
bench_corpus() {
    local name=$1 folder=$2 list=$3 encode_target=$4 decode_target=$5
    local work=$scratch/$name
    rm -rf "$work.run"
    mkdir -p "$work.run/gzip-in" "$work.run/gzip-out"
    (cd "$folder" && tr '\\' '/' < "$list" | xargs -d '\n' cat) > "$work.run/gzip-in/all"
    local size
    size=$(stat -c %s "$work.run/gzip-in/all")
    cat "$work.run/gzip-in/all" >/dev/null

    local gzip_encode lzss_encode gzip_decode lzss_decode encode_peak decode_peak
    gzip_encode=$(median_seconds "rm -f $work.run/gzip-in/all.gz" \
        "gzip -6 -k -f $work.run/gzip-in/all")
    lzss_encode=$(median_seconds "rm -f $work.run/a.qbr" "$lzss $folder/ $list $work.run/a.qbr")
    encode_peak=$(peak_kib "$lzss" "$folder/" "$list" "$work.run/a.qbr")

    cp "$work.run/gzip-in/all.gz" "$work.run/gzip-out/all.gz"
    gzip_decode=$(median_seconds "rm -f $work.run/gzip-out/all" \
        "gzip -d -k -f $work.run/gzip-out/all.gz")
    lzss_decode=$(median_seconds "rm -rf $work.run/out" "$lzss $work.run/a.qbr $list $work.run/out/")
    rm -rf "$work.run/out"
    decode_peak=$(peak_kib "$lzss" "$work.run/a.qbr" "$list" "$work.run/out/")
    if ! (cd "$work.run/out" && tr '\\' '/' < "$list" | xargs -d '\n' cat) |
         cmp -s - "$work.run/gzip-in/all"; then
        echo "compare_gzip.sh: $name does not unpack to its input" >&2
        exit 1
    fi

    report "$name encode" "$size" "$gzip_encode" "$lzss_encode" "$encode_peak" "$encode_target"
    report "$name decode" "$size" "$gzip_decode" "$lzss_decode" "$decode_peak" "$decode_target"
    echo "$name archive: lzss $(stat -c %s "$work.run/a.qbr") bytes, gzip -6 $(stat -c %s "$work.run/gzip-in/all.gz") bytes"
}

# One file as large as the whole game corpus: peak memory must not grow with the file.
bench_one_large_file() {
    local work=$scratch/large.run
    rm -rf "$work"
    mkdir -p "$work/in"
    cp "$scratch/game.run/gzip-in/all" "$work/in/all.bin"
    echo "all.bin" > "$work/list"
    local encode_peak decode_peak size
    size=$(stat -c %s "$work/in/all.bin")
    encode_peak=$(peak_kib "$lzss" "$work/in/" "$work/list" "$work/a.qbr")
    decode_peak=$(peak_kib "$lzss" "$work/a.qbr" "$work/list" "$work/out/")
    cmp -s "$work/in/all.bin" "$work/out/all.bin" || { echo "large file differs" >&2; exit 1; }
    awk -v s="$size" -v e="$encode_peak" -v d="$decode_peak" 'BEGIN {
        printf "one file of %.1f MB     lzss peak: pack %.1f MiB, unpack %.1f MiB\n", s / 1e6, e / 1024, d / 1024 }'
    rm -rf "$work"
}

# Thousands of files of a few hundred bytes in a few dozen folders, listed folder by folder as
# `cp -r` walks them (creating files in many folders in turn is slower on some file systems).
bench_small_files() {
    local work=$scratch/small.run
    rm -rf "$work"
    mkdir -p "$work"
    python3 - "$work" <<'EOF'
import os, random, sys
work = sys.argv[1]
rng = random.Random(7)
words = ["track", "lap", "engine", "level", "score", "driver", "texture", "the", "of", "and"]
names = []
for i in range(5000):
    name = f"d{i // 100:02d}/f{i:04d}.txt"
    size = rng.randint(200, 900)
    text = " ".join(rng.choice(words) for _ in range(size // 4))[:size]
    os.makedirs(os.path.join(work, "in", os.path.dirname(name)), exist_ok=True)
    with open(os.path.join(work, "in", name), "w") as f:
        f.write(text)
    names.append(name)
with open(os.path.join(work, "list"), "w") as f:
    f.write("\n".join(names) + "\n")
EOF
    "$lzss" "$work/in/" "$work/list" "$work/a.qbr" >/dev/null
    local files lzss_s cp_s
    files=$(wc -l < "$work/list")
    # File creation times vary a lot from run to run; take more runs than for the corpora.
    local saved_runs=$runs
    runs=$((runs < 15 ? 15 : runs))
    lzss_s=$(median_seconds "rm -rf $work/out" "$lzss $work/a.qbr $work/list $work/out/")
    cp_s=$(median_seconds "rm -rf $work/copy" "cp -r $work/in $work/copy")
    runs=$saved_runs
    python3 -c 'import sys; n, l, c = int(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3]);
print(f"{n} small files unpack  lzss {n / l:8.0f} files/s  cp -r {n / c:8.0f} files/s  "
      f"lzss at {c / l:4.2f}x the files/s of cp -r")' "$files" "$lzss_s" "$cp_s"
    rm -rf "$work"
}

echo "compare_gzip.sh: $runs runs per command, medians; $(nproc) cores; $(gzip --version | head -1)"
bench_corpus canterbury "$canterbury" "$scratch/canterbury.list" 0.3 3
bench_corpus game "$scratch/game" "$scratch/game.list" 0.5 3
bench_one_large_file
bench_small_files
