#!/usr/bin/env bash
# Fails when a C++ file under src, tests, bench or fuzz differs from what .clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
git ls-files -- src tests bench fuzz | grep -E '\.(cpp|h)$' | xargs clang-format --dry-run --Werror
echo "Formatting: clean"
