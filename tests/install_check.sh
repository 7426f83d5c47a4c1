#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks every file an installation must have; validates the
# desktop entry and the AppStream metainfo with Debian's validators when they are there.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
expect=(bin/qv7700-remote share/applications/qv7700-remote.desktop share/metainfo/io.github.qv7700_remote.metainfo.xml
        share/man/man1/qv7700-remote.1 share/icons/hicolor/scalable/apps/qv7700-remote.svg
        lib/udev/rules.d/60-qv7700-remote.rules share/bash-completion/completions/qv7700-remote
        lib/systemd/system/qv7700-remote-watch@.service share/snmp/mibs/QV7700-REMOTE-MIB.txt)
for s in 16 24 32 48 64 128 256; do expect+=(share/icons/hicolor/${s}x${s}/apps/qv7700-remote.png); done
status=0
for f in "${expect[@]}"; do
    if [ -s "$prefix/$f" ]; then echo "installed: $f"; else echo "MISSING: $f"; status=1; fi
done
extra=$(cd "$prefix" && find . -type f | sed 's#^\./##' | sort)
for f in $extra; do printf '%s\n' "${expect[@]}" | grep -qx "$f" || { echo "UNEXPECTED: $f"; status=1; }; done
QT_QPA_PLATFORM=offscreen "$prefix/bin/qv7700-remote" --version | grep -q '^qv7700-remote 1\.' || { echo "installed program does not run"; status=1; }
man -l "$prefix/share/man/man1/qv7700-remote.1" >/dev/null 2>&1 || command -v man >/dev/null || true
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix/share/applications/qv7700-remote.desktop" && echo "desktop-file-validate: ok" || status=1
else
    echo "desktop-file-validate not installed: skipped"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/io.github.qv7700_remote.metainfo.xml" && echo "appstreamcli: ok" || status=1
else
    echo "appstreamcli not installed: skipped"
fi
# The watch's unit: hardened as systemd's own rating asks (3.0 or lower: "OK"), and starting the program from
# where this build installs it.
unit="$prefix/lib/systemd/system/qv7700-remote-watch@.service"
grep -q '^ExecStart=/.*/bin/qv7700-remote --watch' "$unit" || { echo "the unit's ExecStart is not an absolute path"; status=1; }
exposure=$(systemd-analyze security --offline=true "$unit" 2>&1 | sed -n 's/.*Overall exposure level for .*: \([0-9.]*\).*/\1/p')
if [ -n "$exposure" ] && awk -v e="$exposure" 'BEGIN { exit !(e <= 3.0) }'; then
    echo "systemd-analyze security: $exposure"
else
    echo "systemd-analyze security: exposure '${exposure:-none}', more than 3.0 or not rated"; status=1
fi
exit $status
