#!/usr/bin/env bash
# Builds the Debian package from the build tree and checks that it installs and starts:
# a real install under CI (as root), else an unpacked copy.
#   package.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work" >/dev/null
deb=$(ls "$work"/quillstone_*.deb)
contents=$(dpkg-deb -c "$deb")
grep -q './usr/share/applications/quillstone.desktop' <<<"$contents" || fail "no desktop entry"
grep -q './usr/share/icons/hicolor/64x64/apps/quillstone.png' <<<"$contents" || fail "no icon"
grep -q libqt6widgets6 <<<"$(dpkg-deb -f "$deb" Depends)" || fail "dependencies were not worked out"

installed=0
if [ "${CI:-}" = true ] && [ "$(id -u)" = 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb" >/dev/null
  installed=1
  program=/usr/bin/quillstone
else
  dpkg-deb -x "$deb" "$work/root"
  program=$work/root/usr/bin/quillstone
fi

# It starts, shows the connection window (no servers remembered) and keeps running.
mkdir -m 0700 "$work/conf"
XDG_CONFIG_HOME=$work/conf QT_QPA_PLATFORM=offscreen "$program" >"$work/log" 2>&1 &
pid=$!
sleep 3
alive=0
kill -0 "$pid" 2>/dev/null && alive=1
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
[ "$installed" = 1 ] && DEBIAN_FRONTEND=noninteractive apt-get remove -y quillstone >/dev/null
[ "$alive" = 1 ] || fail "the packaged program did not keep running: $(cat "$work/log")"
[ -f "$work/conf/Vantrel.conf" ] || fail "the packaged program stored no settings"
echo "package: $(basename "$deb") installs and starts"
