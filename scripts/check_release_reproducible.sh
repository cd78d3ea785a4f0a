#!/usr/bin/env bash
# check_release_reproducible.sh -- builds the release of the current commit twice, in two clones at
# different paths, the second at a later time and started with another time zone, locale and umask
# (which release.sh replaces with its own, so this checks that it does), and compares their
# SHA256SUMS. When they differ, both clones are kept for a closer look.
set -euo pipefail
cd "$(dirname "$0")/.."

commit=$(git rev-parse HEAD)
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "check_release_reproducible.sh: uncommitted changes are not part of the check ($commit)"
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/trv99-reproducible.XXXXXX")
first=$work/first/trv99
second=$work/second-clone/somewhere/else/trv99-patch

git clone --quiet --no-checkout . "$first"
git -C "$first" checkout --quiet --detach "$commit"
(
    umask 077
    git clone --quiet --no-checkout . "$second"
    git -C "$second" checkout --quiet --detach "$commit"
)

failed() {
    tail -20 "$1.log"
    echo "check_release_reproducible.sh: release.sh failed; see $1.log" >&2
    exit 1
}
echo "== release.sh in $first"
(cd "$first" && bash scripts/release.sh) >"$first.log" 2>&1 || failed "$first"
cat "$first/out/release/SHA256SUMS"
echo "== release.sh in $second"
(cd "$second" && umask 077 && TZ=Pacific/Chatham LC_ALL=C.UTF-8 bash scripts/release.sh) \
    >"$second.log" 2>&1 || failed "$second"
cat "$second/out/release/SHA256SUMS"

if cmp -s "$first/out/release/SHA256SUMS" "$second/out/release/SHA256SUMS"; then
    rm -rf "$work"
    echo "check_release_reproducible.sh: both builds of $commit gave the same bytes"
else
    echo "check_release_reproducible.sh: the builds differ; both clones are kept in $work" >&2
    exit 1
fi
