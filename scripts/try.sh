#!/usr/bin/env bash
# Builds the tool and runs it on the sample map that ships with the project.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh tool
cmake --preset linux -DTALLYGLASS_BUILD_TESTS=OFF >/dev/null
cmake --build --preset linux --target tallyglass -j"$(nproc)" >/dev/null
build/linux/tallyglass samples/Sample.Map.Gbx
