#!/usr/bin/env bash
# Set-up for a fresh Debian 12 machine: installs what is missing from Debian's archive, builds, then either
# starts the program on its simulated instrument (run), runs every test (test), builds the Debian package
# (package), or stops there (build).
#   bash tools/dev.sh run     # install, build, start on the simulated instrument
#   bash tools/dev.sh test    # install, build, run all tests
#   bash tools/dev.sh package # install, build, make build/qv7700-remote_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-run}
case "$mode" in run|test|build|package) ;; *) echo "usage: bash tools/dev.sh run|test|build|package" >&2; exit 2 ;; esac
build=${BUILD_DIR:-build}
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libqt6serialport6-dev libgl-dev libssl-dev
          libsnmp-dev libsystemd-dev fonts-dejavu-core fonts-liberation)
# The tests also print through a real CUPS queue (cups-pdf) and read the PDFs back, and validate the installed
# desktop entry and AppStream metainfo, and complete the command line as bash does; the web page is driven in
# headless Chromium through chromedriver (Python selenium), and a real Prometheus scrapes the metrics and sends the
# alerts to a real Alertmanager (its config read with python3-yaml). The SNMP
# check runs snmpd, snmpwalk and snmptrapd, lints the MIB with smilint, and takes the IETF base MIB modules
# from erlang-snmp (Debian keeps them out of its main archive otherwise). systemd-analyze rates the watch's unit; libfaketime steps the wall clock under a running watch.
# The API's OpenAPI description is validated with python3-jsonschema against the OpenAPI 3.0 schema of Debian's
# OpenAPI package, and the program's answers against the description.
if [ "$mode" = test ]; then
    packages+=(cups printer-driver-cups-pdf poppler-utils desktop-file-utils appstream bash-completion
               chromium chromium-driver python3-selenium prometheus prometheus-alertmanager python3-yaml openssl
               snmpd snmp snmptrapd smitools erlang-snmp systemd faketime python3-jsonschema openapi-specification)
fi
# CPack's DEB generator asks `file` which packaged files are programs and hands those to dpkg-shlibdeps
# (dpkg-dev) to declare their Qt libraries; a minimal Debian root has neither, and then no package comes out.
if [ "$mode" = package ]; then
    packages+=(dpkg-dev file)
fi

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; elif command -v sudo >/dev/null; then sudo "$@"; else
        echo "Run as root (or install sudo) so that missing packages can be installed: ${missing[*]}" >&2; exit 1
    fi
}

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" -DQV_WERROR="${QV_WERROR:-OFF}" \
      -DQV_SANITIZE="${QV_SANITIZE:-OFF}"
cmake --build "$build" -j "$(nproc)"

case "$mode" in
build)
    ;;
run)
    exec "$build/qv7700-remote" --device sim ;;
test)
    cd "$build"
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" ;;
package)
    cd "$build"
    cpack -G DEB ;;
*)
    echo "usage: bash tools/dev.sh run|test|build|package" >&2; exit 2 ;;
esac
