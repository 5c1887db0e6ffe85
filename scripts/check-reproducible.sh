#!/usr/bin/env bash
# Builds the three Windows release programs twice, from clones of HEAD at two different paths and
# at two different moments, and fails unless each is the same byte for byte: what a vendor builds
# from a tagged commit is what anyone else builds from it. The programs carry no time of their own
# (PE time stamp zero); SOURCE_DATE_EPOCH, the commit's time, is all a tool may use instead.
# Usage: scripts/check-reproducible.sh [--against BUILD_DIR]
# Commit first: uncommitted changes are not in the clones. With --against, one clone is built and
# compared with the programs BUILD_DIR (a win32 build of this clean checkout) already holds, which
# halves the cost for the test stage that has just built them.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${ZELFIN_JOBS:-2}
commit=$(git rev-parse HEAD)
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct "$commit")
export SOURCE_DATE_EPOCH
work=$(mktemp -d "${TMPDIR:-/tmp}/zelfin-reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT
programs=(frontends/win32/zelfin.exe frontends/zelfin-cli.exe tools/zelfin-pack.exe)
against=
if [ "${1:-}" = --against ]; then
    against=$(cd "$2" && pwd)
    if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
        echo "reproducible: the checkout has uncommitted changes; $2 is not a build of HEAD" >&2
        exit 1
    fi
fi

build() { # build DIR: a clone of the commit, the release programs only
    git clone -q --shared --no-checkout . "$1"
    git -C "$1" checkout -q --detach "$commit"
    (cd "$1" && cmake --preset win32 >/dev/null &&
        cmake --build --preset win32 -j "$jobs" --target zelfin zelfin-cli zelfin-pack >/dev/null)
}
build "$work/one"
first=$work/one/build/win32
second=$against
if [ -z "$second" ]; then
    sleep 1 # whole seconds apart, should anything still read the clock
    build "$work/the/other/one"
    second=$work/the/other/one/build/win32
fi

status=0
for program in "${programs[@]}"; do
    if cmp "$first/$program" "$second/$program"; then
        echo "reproducible: $program ($(stat -c %s "$first/$program") bytes)"
    else
        status=1
    fi
done
exit $status
