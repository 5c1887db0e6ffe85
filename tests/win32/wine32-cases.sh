#!/usr/bin/env bash
# The i686 release zelfin-cli.exe itself under 32-bit wine, on the real Win32 platform, packed by
# the release zelfin-pack.exe: as Windows 98 against the i686 test ASPI manager (a successful
# update, a read-back that never verifies), as the NT family on a wine CD-ROM letter that answers
# no pass-through request, and a whole update on the simulated machine inside the program.
# Usage: tests/win32/wine32-cases.sh BUILD_DIR (the win32 build; WINEPREFIX names a win32 prefix).
set -uo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
wine=(env ZELFIN_WINE=/usr/lib/wine/wine "$root/scripts/wine-run.sh")
: "${WINEPREFIX:?WINEPREFIX must name a prepared win32 wine prefix}"

work=$build/wine32-cases
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

# shellcheck source=../checks.sh
source "$root/tests/checks.sh"
# shellcheck source=cli-cases.sh
source "$root/tests/win32/cli-cases.sh"

cli_prepare "$build"
aspi_cases
nt_case
simulate_case

echo "wine32 cases: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
