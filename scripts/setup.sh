#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12. Safe to run again: it installs only
# what is missing.
#   scripts/setup.sh build   the native build (the main job)
#   scripts/setup.sh window  the native build and the Linux window programs (scripts/demo-window.sh)
#   scripts/setup.sh         everything the tests use
set -euo pipefail

mode=${1:-all}
case $mode in
build | window | all) ;;
*)
    echo "usage: scripts/setup.sh [build|window]" >&2
    exit 2
    ;;
esac

packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev clang-format)
if [ "$mode" != build ]; then
    # The Linux window programs, and the fonts their dialogs are drawn in.
    packages+=(qt6-base-dev fonts-liberation2 fonts-dejavu-core)
fi
if [ "$mode" = all ]; then
    # The Debian package and its checks; the fuzzers.
    packages+=(dpkg-dev file lintian clang libclang-rt-14-dev)
    # The window program's rights (setcap on a copy) and the package's polkit action (xmllint).
    packages+=(libcap2-bin libxml2-utils)
    # The logind lock's cases: a private dbus-daemon with a stand-in logind in Python.
    packages+=(dbus-daemon python3-dbus python3-gi)
    # The Windows stage: mingw-w64 (win32 threads for the release programs, posix for the tests) and
    # wine64 to run the x86_64 tests; GoogleTest's sources come with libgtest-dev.
    packages+=(g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-posix wine64)
    # The window program's stage: a virtual display, keystrokes, screenshots, and fonts for wine.
    packages+=(xvfb xdotool imagemagick fonts-wine)
    # Signing a filled release program with a throwaway certificate.
    packages+=(osslsigncode openssl)
    # 32-bit wine for the i686 release programs. It needs the amd64 libraries it shares at its own
    # version, so installing it brings some of them to the archive's current point release.
    packages+=(wine32:i386)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    if [[ " ${missing[*]} " == *:i386\ * ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${sudo_cmd[@]}" dpkg --add-architecture i386
    fi
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq -o DPkg::Lock::Timeout=600 --no-install-recommends "${missing[@]}"
fi
