#!/usr/bin/env bash
# Watch a whole update in the window program on a simulated machine (an RVM-270A that gets
# updated and a drive of another maker that is left alone). Needs a desktop session.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh window
cmake --preset ci >/dev/null
cmake --build --preset ci -j "$(nproc)" --target zelfin-demo
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "demo-window: no display to show the window on (run it from a desktop session)" >&2
    exit 2
fi
exec build/ci/frontends/qt/zelfin-demo
