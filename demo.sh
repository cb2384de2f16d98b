#!/usr/bin/env bash
# Flies the bundled demo: installs the Debian packages the build needs where they are missing,
# builds in build/ only what the demo needs (the runner, the two modules, the simulation root),
# then runs the runner from the repository root, where it leaves its three files.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-packages build
# Once configured, Ninja runs CMake again by itself whenever a CMakeLists.txt changes.
[ -f build/build.ninja ] || cmake --preset default
cmake --build build --target aerobell-sim
exec build/bin/aerobell-sim
