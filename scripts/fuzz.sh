#!/usr/bin/env bash
# fuzz.sh -- builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer (build/fuzz), seeds their corpora from the golden archives and the
# sample patch, and runs each target for a fixed time. Any crash, leak, hang or failed check
# stops the script with a non-zero status; the reproducer is left in build/fuzz/findings/.
#
#   scripts/fuzz.sh [seconds per target] [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(fuzz_unpack fuzz_decode_memory fuzz_round_trip fuzz_file_list fuzz_list_image)
fi

cmake --preset fuzz >/dev/null
cmake --build build/fuzz --target "${targets[@]}" listimage

# Seeds: the golden archives' inputs and the sample patch's files as contents, its lists as
# file lists, list images made from them, and small archives packed by a native lzss.
seeds=build/fuzz/seeds
rm -rf "$seeds"
mkdir -p "$seeds/contents" "$seeds/lists" "$seeds/images"
cp tests/data/vectors/inputs/* "$seeds/contents/"
find sample/patch -type f -size -64k -exec cp {} "$seeds/contents/" \;
cp sample/lists/*.txt "$seeds/lists/"
for list in sample/lists/*.txt; do
    name=$(basename "$list" .txt)
    build/fuzz/listimage "$list" sample/patch/ "$seeds/images/$name.install" >/dev/null 2>&1 ||
        true
done
printf 'readme.txt\r\ndocs\\a b.txt\n\n..\\x\n' > "$seeds/lists/mixed.txt"

corpus_seeds() {
    case "$1" in
    fuzz_unpack)     echo "$seeds/contents" ;;
    fuzz_decode_memory) echo "$seeds/contents" ;;
    fuzz_round_trip) echo "$seeds/contents" ;;
    fuzz_file_list)  echo "$seeds/lists" ;;
    fuzz_list_image) echo "$seeds/images" ;;
    esac
}

mkdir -p build/fuzz/findings
for target in "${targets[@]}"; do
    corpus=build/fuzz/corpus/$target
    mkdir -p "$corpus"
    echo "== $target: $seconds s"
    # One worker; the last lines give the number of runs, the coverage and the corpus.
    if ! build/fuzz/fuzz/$target "$corpus" "$(corpus_seeds "$target")" \
            -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
            -artifact_prefix=build/fuzz/findings/$target- -print_final_stats=1 \
            > "build/fuzz/$target.log" 2>&1; then
        tail -n 40 "build/fuzz/$target.log" >&2
        echo "fuzz.sh: $target failed; see build/fuzz/$target.log and build/fuzz/findings/" >&2
        exit 1
    fi
    grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb|^#[0-9]+.*DONE" \
        "build/fuzz/$target.log" | sed 's/^/   /'
done
