#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and run Quillow
# (plus the packages in QUILLOW_EXTRA_PACKAGES, which test.sh sets), then
# builds it into build/ (or QUILLOW_BUILD, with QUILLOW_CMAKE_ARGS added to
# the configure step and QUILLOW_JOBS build jobs). Sourced by run.sh and
# test.sh.
set -euo pipefail

QUILLOW_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
QUILLOW_BUILD="${QUILLOW_BUILD:-${QUILLOW_ROOT}/build}"
QUILLOW_JOBS="${QUILLOW_JOBS:-2}"

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-webengine-dev libqt6webenginecore6-bin libgl-dev libre2-dev
          xvfb xauth fonts-dejavu-core fonts-liberation2 publicsuffix
          "${QUILLOW_EXTRA_PACKAGES[@]+"${QUILLOW_EXTRA_PACKAGES[@]}"}")
# EasyList and EasyPrivacy for content blocking; the package recommends
# Chromium, which Quillow does not need, so it comes without recommends.
lists_package=webext-ublock-origin-chromium
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
lists_missing=()
dpkg-query -W -f='${Status}' "$lists_package" 2>/dev/null | grep -q "install ok installed" ||
    lists_missing=("$lists_package")
if [ "${#missing[@]}" -gt 0 ] || [ "${#lists_missing[@]}" -gt 0 ]; then
    echo "Installing missing packages: ${missing[*]} ${lists_missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -q
    if [ "${#missing[@]}" -gt 0 ]; then
        DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q "${missing[@]}"
    fi
    if [ "${#lists_missing[@]}" -gt 0 ]; then
        DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q \
            --no-install-recommends "${lists_missing[@]}"
    fi
fi

cmake -S "$QUILLOW_ROOT" -B "$QUILLOW_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "${QUILLOW_CMAKE_ARGS[@]+"${QUILLOW_CMAKE_ARGS[@]}"}"
cmake --build "$QUILLOW_BUILD" -j"$QUILLOW_JOBS"

# Qt WebEngine will not start as root with its sandbox on.
if [ "$(id -u)" -eq 0 ]; then
    echo "Running as root: setting QTWEBENGINE_DISABLE_SANDBOX=1 for the web engine."
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi
