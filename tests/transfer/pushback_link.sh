#!/usr/bin/env bash
# Runs a test binary against servers of its own over a link that pushes back, as real
# networks do: in a private network namespace whose TCP send buffers hold 16 KiB at most,
# with a proxy in front of each server at about 4 MB/s each way, a 64 KiB window and 1 ms
# each way. A client that writes faster than that finds its socket full and has to finish
# its write later.
#   pushback_link.sh PROXY TEST [ARGUMENTS...]
# PROXY is quillstone_delay_proxy. The test reads the sandbox's QS_* variables as usual;
# QS_PG_PORT and QS_MY_PORT name the proxies, the administrators' sockets stay direct
# (QS_PG_SOCKET_PORT names the PostgreSQL socket's port). A sandbox the caller started is
# not used: its servers are not in the namespace. It returns the test's status.
# Needs root for the namespace and its settings (CI runs as root).
set -euo pipefail

die() {
  echo "pushback_link: $*" >&2
  exit 1
}

[ $# -ge 2 ] || die "usage: $0 PROXY TEST [ARGUMENTS...]"
proxy=$1
shift
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

readonly kRate=4000000 kWindow=65536 kDelayMs=1 kSendBuffers="4096 8192 16384"

# First the namespace: this script again, inside one of its own (the same process, so the
# variable below tells the two runs apart).
if [ "${QS_PUSHBACK_NAMESPACE:-}" != "$$" ]; then
  [ "$(id -u)" -eq 0 ] ||
    die "needs root: it makes a private network namespace (unshare -n) and sets its TCP buffers; CI runs as root"
  for tool in unshare ip sysctl; do
    command -v "$tool" >/dev/null || die "needs $tool (scripts/install-deps installs util-linux, iproute2, procps)"
  done
  unshare -n true 2>/dev/null || die "cannot make a network namespace here: unshare -n failed"
  exec env QS_PUSHBACK_NAMESPACE=$$ unshare -n -- bash "${BASH_SOURCE[0]}" "$proxy" "$@"
fi

ip link set lo up
sysctl -q -w net.ipv4.tcp_wmem="$kSendBuffers"
# The caller's sandbox (scripts/test exports one) is out of reach in here.
for name in "${!QS_@}"; do unset "$name"; done

work=$(mktemp -d /tmp/qs-pushback.XXXXXX)
chmod 0711 "$work" # the servers' user reaches its folder inside
sandbox=$work/sandbox
proxies=()
# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
  local status=$? pid
  for pid in "${proxies[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${proxies[@]}"; do wait "$pid" 2>/dev/null || true; done
  "$root/scripts/sandbox" stop "$sandbox" || status=1
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

"$root/scripts/sandbox" start "$sandbox" >/dev/null
# shellcheck source=/dev/null
source "$sandbox/env"

# Starts a proxy in front of 127.0.0.1:PORT, a child of this shell, which stops it, and
# waits until it writes the port it listens on (in one write) to $work/proxy.PORT.
start_proxy() {
  local port=$1 file=$work/proxy.$1 deadline=$((SECONDS + 30))
  "$proxy" --rate "$kRate" --window "$kWindow" 127.0.0.1 "$port" "$kDelayMs" >"$file" &
  proxies+=($!)
  until grep -qx '[0-9]\+' "$file"; do
    kill -0 "$!" 2>/dev/null || die "the proxy in front of port $port ended"
    [ "$SECONDS" -lt "$deadline" ] || die "the proxy in front of port $port did not start"
    sleep 0.05
  done
}
start_proxy "$QS_PG_PORT"
start_proxy "$QS_MY_PORT"
pg_proxy=$(<"$work/proxy.$QS_PG_PORT")
my_proxy=$(<"$work/proxy.$QS_MY_PORT")

export QS_PG_SOCKET_PORT=$QS_PG_PORT
export QS_PG_PORT=$pg_proxy QS_MY_PORT=$my_proxy
export QS_PUSHBACK_LINK="$kRate bytes/s, window $kWindow, $kDelayMs ms, TCP send buffers $kSendBuffers"
echo "pushback_link: $QS_PUSHBACK_LINK"
# In the background, so that a signal to this script stops the servers at once.
"$@" &
test_pid=$!
trap 'kill "$test_pid" 2>/dev/null; exit 130' INT
trap 'kill "$test_pid" 2>/dev/null; exit 143' TERM
status=0
wait "$test_pid" || status=$?
exit "$status"
