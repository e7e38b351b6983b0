#!/usr/bin/env bash
# Builds and starts the native Linux shell; it prints the planner's address.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh --shell
cmake --preset linux >/dev/null
cmake --build --preset linux --target vellora
exec build/linux/vellora "$@"
