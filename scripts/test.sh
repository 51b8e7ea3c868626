#!/usr/bin/env bash
# Sets up, builds and runs every test through CTest, then the tests that
# leave the web engine alone under the sanitizers, then each fuzz target for
# a bounded time.
set -euo pipefail
# In CI, and here, a warning is an error.
QUILLOW_CMAKE_ARGS=(-DQUILLOW_WARNINGS_AS_ERRORS=ON)
# Beyond what running needs: clang for the fuzz targets, and the desktop's
# validators of the menu and software-centre entries for the install test,
# pdftotext to read a printed page, xdotool to answer a started program,
# and lintian, dpkg-dev and file to build and check the Debian package.
QUILLOW_EXTRA_PACKAGES=(clang-14 libclang-rt-14-dev desktop-file-utils appstream poppler-utils xdotool lintian dpkg-dev file)
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

cd "$QUILLOW_BUILD"
if [ -z "${DISPLAY:-}" ]; then
    echo "No display found: running the tests under xvfb-run (a virtual X display)."
    xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j2
else
    ctest --output-on-failure -j2
fi

bash "${QUILLOW_ROOT}/scripts/sanitizers.sh"
bash "${QUILLOW_ROOT}/scripts/fuzz.sh"
