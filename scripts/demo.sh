#!/usr/bin/env bash
# The main job on a fresh machine: set up, build, pack the demo firmware package into zelfin-cli,
# and run a complete update of a simulated BRYMOTE DVDRW RVM-270A (about 20 seconds).
# Any argument is passed on to zelfin-cli (for example a scenario: --simulate FILE).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh build
cmake --preset ci >/dev/null
cmake --build --preset ci -j "$(nproc)" --target zelfin-cli zelfin-pack

bin=build/ci
demo=build/demo
rm -rf "$demo"
"$bin/tools/zelfin-pack" make-demo "$demo" >/dev/null
cp "$bin/frontends/zelfin-cli" "$demo/zelfin-cli"
"$bin/tools/zelfin-pack" fill "$demo/zelfin-cli" "$demo/package.txt"

echo
echo "== zelfin-cli --simulate --yes --update =="
args=("$@")
((${#args[@]})) || args=(--simulate)
exec "$demo/zelfin-cli" "${args[@]}" --yes --update </dev/null
