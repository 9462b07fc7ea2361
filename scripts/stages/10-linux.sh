#!/usr/bin/env bash
# The Linux build: unit and end-to-end tests through the stand-in host.
source "$(dirname "$0")/../lib.sh"
ensure_packages googletest libgtest-dev libbenchmark-dev fpc-source
build_preset linux -DLUMARIX_TESTS=ON -DLUMARIX_BENCH=ON
cd "$ROOT/build/linux"
ctest --output-on-failure -j2
