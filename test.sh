#!/usr/bin/env bash
# Builds everything in build/ and runs every test, after installing the Debian packages the build
# needs where they are missing.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-packages build test
exec cmake --workflow --preset test
