#!/usr/bin/env bash
# The main job on a fresh machine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset ci >/dev/null
cmake --build --preset ci -j "$(nproc)"
