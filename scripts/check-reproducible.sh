#!/usr/bin/env bash
# Builds the Windows release programs, or with --deb the Debian package, twice, from clones of HEAD
# at two different paths and at two different moments, and fails unless each is the same byte for
# byte: what a vendor builds from a tagged commit is what anyone else builds from it. Nothing built
# carries a time of its own: SOURCE_DATE_EPOCH, the commit's time unless already set, is all a tool
# may use instead, and the native builds map the checkout's path away (-ffile-prefix-map).
# Usage: scripts/check-reproducible.sh [--deb] [--against BUILD_DIR]
# Commit first: uncommitted changes are not in the clones. With --against, one clone is built and
# compared with what BUILD_DIR (a win32 build, or a ci build packed by cpack, of this clean
# checkout) already holds, which halves the cost for the stage that has just built it.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${ZELFIN_JOBS:-2}
commit=$(git rev-parse HEAD)
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct "$commit")}
export SOURCE_DATE_EPOCH
# CPack gives the package's members the modes of its own files, which the umask sets.
umask 022
# Each clone is compiled afresh: no cached object stands in for one. Where ccache rewrites the
# paths under its base folder into relative ones, it does so in the clone as in the checkout.
export CCACHE_RECACHE=1
work=$(mktemp -d "${TMPDIR:-/tmp}/zelfin-reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT

preset=win32
targets=(zelfin zelfin-cli zelfin-pack)
outputs=(frontends/win32/zelfin.exe frontends/zelfin-cli.exe tools/zelfin-pack.exe)
if [ "${1:-}" = --deb ]; then
    shift
    preset=ci
    targets=(zelfin zelfin-cli zelfin-pack zelfin-demo)
    outputs=() # the package, named by cpack
fi
against=
if [ "${1:-}" = --against ]; then
    against=$(cd "$2" && pwd)
    if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
        echo "reproducible: the checkout has uncommitted changes; $2 is not a build of HEAD" >&2
        exit 1
    fi
fi

build() { # build DIR: a clone of the commit, what is compared only
    git clone -q --shared --no-checkout . "$1"
    git -C "$1" checkout -q --detach "$commit"
    (cd "$1" && if [ -n "${CCACHE_BASEDIR:-}" ]; then export CCACHE_BASEDIR=$PWD; fi &&
        cmake --preset "$preset" >/dev/null &&
        cmake --build --preset "$preset" -j "$jobs" --target "${targets[@]}" >/dev/null)
    [ "$preset" != ci ] || (cd "$1/build/ci" && cpack -G DEB >/dev/null)
}
build "$work/one"
first=$work/one/build/$preset
second=$against
if [ -z "$second" ]; then
    sleep 1 # whole seconds apart, should anything still read the clock
    build "$work/the/other/one"
    second=$work/the/other/one/build/$preset
fi
[ ${#outputs[@]} -gt 0 ] || outputs=("$(cd "$first" && echo zelfin_*.deb)")

status=0
for output in "${outputs[@]}"; do
    if cmp "$first/$output" "$second/$output"; then
        echo "reproducible: $output ($(stat -c %s "$first/$output") bytes)"
    else
        status=1
        [ "$preset" != ci ] || { # which files, or which of their modes, owners or times, differ
            diff <(dpkg-deb -I "$first/$output" md5sums) <(dpkg-deb -I "$second/$output" md5sums) || true
            diff <(dpkg-deb --fsys-tarfile "$first/$output" | tar tv --full-time) \
                <(dpkg-deb --fsys-tarfile "$second/$output" | tar tv --full-time) || true
        }
    fi
done
exit $status
