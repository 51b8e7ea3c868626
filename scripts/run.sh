#!/usr/bin/env bash
# Sets up, builds and starts Quillow.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting Quillow under xvfb-run (a virtual X display)."
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$QUILLOW_BUILD/quillow"
fi
exec "$QUILLOW_BUILD/quillow"
