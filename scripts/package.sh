#!/usr/bin/env bash
# Builds the Debian package quillow_<version>_<arch>.deb from a Release build
# in build-package/ (or QUILLOW_BUILD) and puts it in the top folder, ready
# for `sudo apt install ./quillow_<version>_<arch>.deb`.
set -euo pipefail
QUILLOW_BUILD="${QUILLOW_BUILD:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build-package}"
QUILLOW_CMAKE_ARGS=(-DCMAKE_BUILD_TYPE=Release -DQUILLOW_BUILD_TESTS=OFF
                    "${QUILLOW_CMAKE_ARGS[@]+"${QUILLOW_CMAKE_ARGS[@]}"}")
# CPack's DEB generator reads the linked libraries' packages with
# dpkg-shlibdeps and finds the programs to strip with file.
QUILLOW_EXTRA_PACKAGES=(dpkg-dev file)
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

rm -f "$QUILLOW_BUILD"/quillow_*.deb
(cd "$QUILLOW_BUILD" && cpack -G DEB)
deb=("$QUILLOW_BUILD"/quillow_*.deb)
cp "${deb[0]}" "$QUILLOW_ROOT/"
echo "Built $QUILLOW_ROOT/$(basename "${deb[0]}")"
