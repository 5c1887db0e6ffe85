#!/usr/bin/env bash
# Runs a Windows program under wine64 (or the loader ZELFIN_WINE names) in the prefix named by
# WINEPREFIX (made by scripts/test-windows.sh), quietly and with our own ASPI manager preferred
# to wine's.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name a prepared wine prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;wnaspi32=n"
exec "${ZELFIN_WINE:-/usr/lib/wine/wine64}" "$@"
