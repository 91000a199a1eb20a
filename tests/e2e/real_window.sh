#!/usr/bin/env bash
# Drives the real quillstone executable in a real X server, with keyboard and mouse as a
# person would, against the sandbox servers, then checks what the servers hold.
#   real_window.sh QUILLSTONE SHOTS_DIR
set -euo pipefail
program=$1
shots=$2
: "${QS_PG_PORT:?run through scripts/test, which starts the sandbox servers}"
mkdir -p "$shots"
work=$(mktemp -d)
cleanup() {
  [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

my() { mariadb --no-defaults --protocol=tcp -h "$QS_MY_HOST" -P "$QS_MY_PORT" -u "$QS_MY_USER" -p"$QS_MY_PASSWORD" -N -B "$QS_MY_DATABASE" "$@"; }
pg() { PGPASSWORD=$QS_PG_PASSWORD psql -X -q -t -A -h "$QS_PG_HOST" -p "$QS_PG_PORT" -U "$QS_PG_USER" "$QS_PG_DATABASE" "$@"; }
fail() { echo "FAIL: $*" >&2; exit 1; }
# Waits up to 20 s for a command's output to equal the expected text.
await() {
  local expected=$1; shift
  local got
  for _ in $(seq 1 80); do
    got=$("$@" 2>/dev/null || true)
    [ "$got" = "$expected" ] && return 0
    sleep 0.25
  done
  fail "expected '$expected' from '$*', got '$got'"
}

# Only these tables on both sides (the sandbox is throwaway): e2e_books goes to PostgreSQL over an older copy there, e2e_old is
# renamed on PostgreSQL, e2e_drop deleted on MySQL.
my -e "DROP DATABASE \`$QS_MY_DATABASE\`; CREATE DATABASE \`$QS_MY_DATABASE\`; USE \`$QS_MY_DATABASE\`;
       CREATE TABLE e2e_books (id INT, title VARCHAR(50));
       INSERT INTO e2e_books VALUES (1, 'Middlemarch'), (2, 'O''Connor stories'), (3, NULL);
       CREATE TABLE e2e_drop (id INT);"
pg -c "SET client_min_messages = warning; DROP SCHEMA public CASCADE; CREATE SCHEMA public;
       CREATE TABLE e2e_books (stale int); INSERT INTO e2e_books VALUES (42);
       CREATE TABLE e2e_old (id int); INSERT INTO e2e_old VALUES (7);"

mkdir -m 0700 "$work/conf"
(umask 077; cat >"$work/conf/Vantrel.conf" <<CONF
[Quillstone]
PostgreSQLServer=$QS_PG_HOST
PostgreSQLPort=$QS_PG_PORT
PostgreSQLUser=$QS_PG_USER
PostgreSQLPassword=$QS_PG_PASSWORD
PostgreSQLDatabase=$QS_PG_DATABASE
MySQLServer=$QS_MY_HOST
MySQLUser=$QS_MY_USER
MySQLPassword=$QS_MY_PASSWORD
MySQLDatabase=$QS_MY_DATABASE
MySQLPort=$QS_MY_PORT
CONF
)

display=:$((90 + RANDOM % 500))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start"

unset QT_QPA_PLATFORM
XDG_CONFIG_HOME=$work/conf "$program" >"$work/program.log" 2>&1 &
app=$!

window=$(xdotool search --sync --onlyvisible --name '^Quillstone$' | head -1)
sleep 1
import -window root "$shots/table-window.png"

# Positions inside the table window, in pixels.
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep 0.3; }
# Keys go through the X test extension to the focused window, as typed keys do.
press() { xdotool windowfocus --sync "$1" 2>/dev/null || true; xdotool key "$2"; sleep 0.3; }
first_row_list1() { click 60 40; }
first_row_list2() { click 330 40; }

# Send e2e_books (first MySQL item) to PostgreSQL; answer Yes to the overwrite question.
first_row_list1
click 135 194
question=$(xdotool search --sync --onlyvisible --name '^Overwrite\?$' | head -1)
import -window root "$shots/overwrite-question.png"
press "$question" Return
await "3" pg -c "SELECT count(*) FROM e2e_books"
await "Middlemarch|O'Connor stories|" pg -c "SELECT string_agg(coalesce(title, ''), '|' ORDER BY id) FROM e2e_books"

# Rename e2e_old, the second PostgreSQL item (after e2e_books).
first_row_list2
press "$window" Down
sleep 0.3
click 399 261
prompt=$(xdotool search --sync --onlyvisible --name '^Quillstone$' | grep -v "^$window$" | tail -1)
sleep 0.5
import -window root "$shots/rename-prompt.png"
press "$prompt" ctrl+a
xdotool type --delay 20 "e2e_new"
press "$prompt" Return
await "7" pg -c "SELECT id FROM e2e_new"
await "0" pg -c "SELECT count(*) FROM pg_tables WHERE tablename = 'e2e_old'"

# Delete e2e_drop, the second MySQL item.
first_row_list1
press "$window" Down
sleep 0.3
click 135 227
await "" my -e "SHOW TABLES LIKE 'e2e_drop'"
await "e2e_books" my -e "SHOW TABLES LIKE 'e2e_books'"

# Back to the connection window.
click 135 345
sleep 0.5
import -window root "$shots/connection-window.png"

kill -0 "$app" 2>/dev/null || fail "the program ended on its own: $(cat "$work/program.log")"

# Killed in the middle of a copy: the rows sent so far stay, the settings survive, and the
# next start opens the table window again.
kill "$app"
wait "$app" 2>/dev/null || true
my -e "CREATE TABLE e2e_big (id INT, label VARCHAR(40)) SELECT seq AS id, CONCAT('row ', seq) AS label FROM seq_1_to_60000"
settings_before=$(sort "$work/conf/Vantrel.conf")
XDG_CONFIG_HOME=$work/conf "$program" >>"$work/program.log" 2>&1 &
app=$!
window=$(xdotool search --sync --onlyvisible --name '^Quillstone$' | head -1)
sleep 1
first_row_list1
click 135 194
for _ in $(seq 1 80); do
  copied=$(pg -c "SELECT count(*) FROM e2e_big" 2>/dev/null || echo 0)
  [ "${copied:-0}" -gt 0 ] && break
  sleep 0.25
done
kill -9 "$app"
wait "$app" 2>/dev/null || true
copied=$(pg -c "SELECT count(*) FROM e2e_big")
[ "$copied" -gt 0 ] && [ "$copied" -lt 60000 ] || fail "expected a part of e2e_big copied, found $copied rows"
[ "$(sort "$work/conf/Vantrel.conf")" = "$settings_before" ] || fail "the settings changed when the program was killed"
XDG_CONFIG_HOME=$work/conf "$program" >>"$work/program.log" 2>&1 &
app=$!
window=$(xdotool search --sync --onlyvisible --name '^Quillstone$' | head -1)
# The table window (536 x 368) is the first window again, not the connection window.
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$WIDTH" = 536 ] && [ "$HEIGHT" = 368 ] || fail "expected the table window at start, got ${WIDTH}x${HEIGHT}"
echo "real window: all steps passed"
