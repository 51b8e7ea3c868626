#!/usr/bin/env bash
# Sets up, builds and runs every test through CTest.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

cd "$QUILLOW_BUILD"
if [ -z "${DISPLAY:-}" ]; then
    echo "No display found: running the tests under xvfb-run (a virtual X display)."
    exec xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j2
fi
exec ctest --output-on-failure -j2
