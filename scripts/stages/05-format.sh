#!/usr/bin/env bash
# The C++ sources must be as clang-format (with the root .clang-format) writes
# them; prints the differences and fails when any file is off.
source "$(dirname "$0")/../lib.sh"
ensure_packages clang-format git

cd "$ROOT"
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror "${sources[@]}"
echo "== ${#sources[@]} C++ files formatted as .clang-format says"
