#!/usr/bin/env bash
# Fails when a C++ file of the project is not laid out as .clang-format says.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
((${#files[@]})) || exit 0
clang-format --dry-run --Werror "${files[@]}"
