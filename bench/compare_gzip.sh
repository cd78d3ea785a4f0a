#!/usr/bin/env bash
# compare_gzip.sh -- times whole lzss runs against gzip on the same data, side by side, so that
# the speed of the machine cancels out of the ratios.
#
#   bench/compare_gzip.sh [runs]          (default 7 runs per command; the median is reported)
#
# LZSS=path/to/lzss times another build of lzss (an older one, say) with the same corpora.
# BENCH_SCRATCH=/dev/shm/trv-bench puts the game corpus and all outputs on a tmpfs, where file
# creation costs least; the default is build/release/bench-scratch.
#
# Builds a Release tree in build/release, assembles the game-like corpus into
# build/release/bench-scratch/ (once) and uses the Canterbury corpus from the shared folder beside
# the repository. For each corpus, lzss packs the corpus's files into one archive and unpacks it
# again, with one thread (LZSS_THREADS=1) and with one per processor, while gzip -6 and pigz -6
# (parallel gzip) pack, and gzip -d and pigz -d unpack, the corpus's files concatenated into one
# file. It also checks that 1, 2, 3, 8 and 64 threads write the same archive.
# All input comes from the page cache; all output goes to files in the scratch folder.
# MB/s is 10^6 bytes of uncoded data per second. Peak memory is the maximum resident set size
# from /usr/bin/time -v. The last line times unpacking thousands of small files against
# `cp -r` of the same tree.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-7}
shared=${TRV_SHARED_DIR:-$PWD/../shared}
canterbury=$shared/corpus/canterbury
for tool in hyperfine gzip pigz python3 /usr/bin/time; do
    if ! command -v "$tool" >/dev/null; then
        echo "compare_gzip.sh: $tool is missing (Debian packages: hyperfine, gzip, pigz, python3, time)" >&2
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
# BENCH_SCRATCH puts the corpus and every output elsewhere, on a tmpfs say (/dev/shm/...).
scratch=${BENCH_SCRATCH:-$PWD/build/release/bench-scratch}
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

# One line: what, reference, uncoded bytes, reference seconds, lzss seconds, lzss peak KiB, target
# ratio (0: none).
report() {
    python3 - "$@" <<'EOF'
import sys
what, reference, size, ref_s, lzss_s, peak, target = sys.argv[1:]
size, ref_s, lzss_s, target = int(size), float(ref_s), float(lzss_s), float(target)
ratio = ref_s / lzss_s
verdict = f"target {target:.2f}x, {'met' if ratio >= target else 'NOT met'}" if target > 0 else "no target"
print(f"{what:28s} {size / 1e6:5.1f} MB  {reference} {size / 1e6 / ref_s:7.1f} MB/s  "
      f"lzss {size / 1e6 / lzss_s:7.1f} MB/s  ratio {ratio:5.2f}x ({verdict})  "
      f"lzss peak {int(peak) / 1024:5.1f} MiB")
EOF
}

# MB/s of uncoded bytes and peak MiB of a reference command, for its summary line.
rate() {
    awk -v s="$1" -v t="$2" 'BEGIN { printf "%.1f MB/s", s / 1e6 / t }'
}
peak_mib() {
    awk -v k="$(peak_kib "$@")" 'BEGIN { printf "%.1f MiB", k / 1024 }'
}

# bench_corpus NAME FOLDER LIST PACK_ALL_TARGET PACK_ONE_TARGET UNPACK_TARGET
bench_corpus() {
    local name=$1 folder=$2 list=$3 pack_all_target=$4 pack_one_target=$5 unpack_target=$6
    local work=$scratch/$name
    rm -rf "$work.run"
    mkdir -p "$work.run/gzip-in" "$work.run/gzip-out"
    (cd "$folder" && tr '\\' '/' < "$list" | xargs -d '\n' cat) > "$work.run/gzip-in/all"
    local size all=$work.run/gzip-in/all
    size=$(stat -c %s "$all")
    cat "$all" >/dev/null

    local gzip_pack pigz_pack gzip_unpack pigz_unpack
    gzip_pack=$(median_seconds "rm -f $all.gz" "gzip -6 -k -f $all")
    pigz_pack=$(median_seconds "rm -f $all.pz" "pigz -6 -k -f -S .pz $all")
    rm -f "$all.pz"
    cp "$all.gz" "$work.run/gzip-out/all.gz"
    gzip_unpack=$(median_seconds "rm -f $work.run/gzip-out/all" "gzip -d -k -f $work.run/gzip-out/all.gz")
    pigz_unpack=$(median_seconds "rm -f $work.run/gzip-out/all" "pigz -d -k -f $work.run/gzip-out/all.gz")
    echo "$name, $(nproc) cores: gzip -6 $(rate "$size" "$gzip_pack") ($(peak_mib gzip -6 -c "$all"))," \
         "pigz -6 $(rate "$size" "$pigz_pack") ($(peak_mib pigz -6 -c "$all"))," \
         "gzip -d $(rate "$size" "$gzip_unpack") ($(peak_mib gzip -d -c "$all.gz"))," \
         "pigz -d $(rate "$size" "$pigz_unpack") ($(peak_mib pigz -d -c "$all.gz"))"

    local threads label target pack unpack pack_peak unpack_peak
    for threads in 1 "$(nproc)"; do
        # All threads is the default: LZSS_THREADS unset, as a user runs it.
        if [ "$threads" = 1 ]; then label="1 thread"; else label="$threads threads (default)"; fi
        if [ "$threads" = 1 ]; then target=$pack_one_target; else target=$pack_all_target; fi
        if [ "$threads" = 1 ]; then export LZSS_THREADS=1; else unset LZSS_THREADS; fi
        pack=$(median_seconds "rm -f $work.run/a.qbr" "$lzss $folder/ $list $work.run/a.qbr")
        pack_peak=$(peak_kib "$lzss" "$folder/" "$list" "$work.run/a.qbr")
        unpack=$(median_seconds "rm -rf $work.run/out" "$lzss $work.run/a.qbr $list $work.run/out/")
        rm -rf "$work.run/out"
        unpack_peak=$(peak_kib "$lzss" "$work.run/a.qbr" "$list" "$work.run/out/")
        unset LZSS_THREADS
        if ! (cd "$work.run/out" && tr '\\' '/' < "$list" | xargs -d '\n' cat) | cmp -s - "$all"; then
            echo "compare_gzip.sh: $name does not unpack to its input" >&2
            exit 1
        fi
        report "$name pack, $label" "gzip -6" "$size" "$gzip_pack" "$pack" "$pack_peak" "$target"
        report "$name pack, $label" "pigz -6" "$size" "$pigz_pack" "$pack" "$pack_peak" 0
        if [ "$threads" = 1 ]; then target=0; else target=$unpack_target; fi
        report "$name unpack, $label" "gzip -d" "$size" "$gzip_unpack" "$unpack" "$unpack_peak" "$target"
        report "$name unpack, $label" "pigz -d" "$size" "$pigz_unpack" "$unpack" "$unpack_peak" 0
    done

    # Every thread count writes the same archive.
    local digests=() count
    for threads in 1 2 3 8 64 "$(nproc)"; do
        LZSS_THREADS=$threads "$lzss" "$folder/" "$list" "$work.run/t.qbr" >/dev/null
        digests+=("$(sha256sum < "$work.run/t.qbr" | cut -d' ' -f1)")
    done
    count=$(printf '%s\n' "${digests[@]}" | sort -u | wc -l)
    if [ "$count" != 1 ]; then
        echo "compare_gzip.sh: $name: the archives of 1, 2, 3, 8 and 64 threads differ" >&2
        exit 1
    fi
    echo "$name archive: lzss $(stat -c %s "$work.run/a.qbr") bytes, SHA-256 ${digests[0]}" \
         "(1, 2, 3, 8, 64 threads alike); gzip -6 $(stat -c %s "$all.gz") bytes"
}

# Pack and unpack of the game corpus at 1, 2, 4 and 8 threads, against one thread: past the
# number of processors the rows show what oversubscription costs.
bench_scaling() {
    local work=$scratch/game.run list=$scratch/game.list threads pack unpack one_pack one_unpack
    for threads in 1 2 4 8; do
        export LZSS_THREADS=$threads
        pack=$(median_seconds "rm -f $work/s.qbr" "$lzss $scratch/game/ $list $work/s.qbr")
        unpack=$(median_seconds "rm -rf $work/s.out" "$lzss $work/s.qbr $list $work/s.out/")
        unset LZSS_THREADS
        rm -rf "$work/s.out"
        if [ "$threads" = 1 ]; then one_pack=$pack; one_unpack=$unpack; fi
        awk -v t="$threads" -v p="$pack" -v u="$unpack" -v p1="$one_pack" -v u1="$one_unpack" \
            -v s="$(stat -c %s "$work/gzip-in/all")" 'BEGIN {
            printf "game scaling, %d threads    pack %6.1f MB/s (%4.2fx one thread)  unpack %6.1f MB/s (%4.2fx one thread)\n",
                   t, s / 1e6 / p, p1 / p, s / 1e6 / u, u1 / u }'
    done
}

# One file as large as the whole game corpus: peak memory must not grow with the file, nor with
# the number of threads.
bench_one_large_file() {
    local work=$scratch/large.run
    rm -rf "$work"
    mkdir -p "$work/in"
    cp "$scratch/game.run/gzip-in/all" "$work/in/all.bin"
    echo "all.bin" > "$work/list"
    local encode_peak decode_peak size
    size=$(stat -c %s "$work/in/all.bin")
    for threads in 1 "$(nproc)" 64; do
        encode_peak=$(LZSS_THREADS=$threads peak_kib "$lzss" "$work/in/" "$work/list" "$work/a.qbr")
        rm -rf "$work/out"
        decode_peak=$(LZSS_THREADS=$threads peak_kib "$lzss" "$work/a.qbr" "$work/list" "$work/out/")
        cmp -s "$work/in/all.bin" "$work/out/all.bin" || { echo "large file differs" >&2; exit 1; }
        awk -v s="$size" -v e="$encode_peak" -v d="$decode_peak" -v t="$threads" 'BEGIN {
            printf "one file of %.1f MB, %2d threads   lzss peak: pack %.1f MiB, unpack %.1f MiB\n",
                   s / 1e6, t, e / 1024, d / 1024 }'
    done
    # Many files at 64 threads: every worker busy at once.
    encode_peak=$(LZSS_THREADS=64 peak_kib "$lzss" "$scratch/game/" "$scratch/game.list" "$work/g.qbr")
    awk -v e="$encode_peak" 'BEGIN { printf "game corpus, 64 threads    lzss peak: pack %.1f MiB\n", e / 1024 }'
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
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
bench_corpus canterbury "$canterbury" "$scratch/canterbury.list" 0.5 0.3 3
bench_corpus game "$scratch/game" "$scratch/game.list" 0.8 0.45 4.5
bench_scaling
bench_one_large_file
bench_small_files
