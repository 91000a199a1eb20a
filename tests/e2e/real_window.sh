#!/usr/bin/env bash
# Drives the real quillstone executable in a real X server, with keyboard and mouse as a
# person would, against the sandbox servers, then checks what the servers hold: a copy
# over an older one, a rename, a delete, and a copy killed midway.
#   real_window.sh QUILLSTONE SHOTS_DIR
set -euo pipefail
program=$1
shots=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"

# Waits up to 60 s for a command's output to equal the expected text.
await() {
  local expected=$1
  shift
  poll 60 output_is "$expected" "$@" || fail "expected '$expected' from '$*', got '$("$@" 2>&1)'"
}
output_is() {
  local expected=$1
  shift
  [ "$("$@" 2>/dev/null)" = "$expected" ]
}

window_shown() {
  window=$(program_windows | head -1)
  [ -n "$window" ]
}
some_rows_copied() { [ "$(pg -c "SELECT count(*) FROM e2e_big" 2>/dev/null || echo 0)" -gt 0 ]; }

e2e_setup
# e2e_books goes to PostgreSQL over an older copy there, e2e_old is renamed on PostgreSQL,
# e2e_drop deleted on MySQL.
reset_databases
my -e "CREATE TABLE e2e_books (id INT, title VARCHAR(50)) DEFAULT CHARSET=utf8mb4;
       INSERT INTO e2e_books VALUES (1, 'Middlemarch'), (2, 'O''Connor stories'), (3, NULL);
       CREATE TABLE e2e_drop (id INT);"
pg -c "CREATE TABLE e2e_books (stale int); INSERT INTO e2e_books VALUES (42);
       CREATE TABLE e2e_old (id int); INSERT INTO e2e_old VALUES (7);"

start_program

# Send e2e_books (first MySQL row) to PostgreSQL; answer Yes to the overwrite question.
mysql_row 0
send_to_postgresql
await_box "Overwrite?"
answer Return
await_idle 60
await "3" pg -c "SELECT count(*) FROM e2e_books"
await "Middlemarch|O'Connor stories|" pg -c "SELECT string_agg(coalesce(title, ''), '|' ORDER BY id) FROM e2e_books"

# Rename e2e_old, the second PostgreSQL row (after e2e_books): the prompt is a box titled
# like the program.
postgresql_row 0
press "$window" Down
rename_postgresql
await_box Quillstone
shoot rename-prompt "$box"
press "$box" ctrl+a
xdotool type --delay 20 "e2e_new"
answer Return
await "7" pg -c "SELECT id FROM e2e_new"
await "0" pg -c "SELECT count(*) FROM pg_tables WHERE tablename = 'e2e_old'"
await_idle 60

# Delete e2e_drop, the second MySQL row.
mysql_row 0
press "$window" Down
delete_mysql
await "" my -e "SHOW TABLES LIKE 'e2e_drop'"
await "e2e_books" my -e "SHOW TABLES LIKE 'e2e_books'"
await_idle 60

# Back to the connection window, which takes the table window's place.
table_window=$window
back
poll 30 box_gone "$table_window" || fail "the table window stayed after < Back"
window=
poll 30 window_shown || fail "no connection window after < Back"
shoot connection-window

program_alive || fail "the program ended on its own: $(cat "$work/program.log")"

# Killed in the middle of a copy: the rows sent so far stay, the settings survive, and the
# next start opens the table window again.
kill "$app"
wait "$app" 2>/dev/null || true
my -e "CREATE TABLE e2e_big (id INT, label VARCHAR(40)) SELECT seq AS id, CONCAT('row ', seq) AS label FROM seq_1_to_60000"
settings_before=$(sort "$work/conf/Vantrel.conf")
start_program
mysql_row 0
send_to_postgresql
poll 60 some_rows_copied || fail "no row of e2e_big reached PostgreSQL"
kill -9 "$app"
wait "$app" 2>/dev/null || true
copied=$(pg -c "SELECT count(*) FROM e2e_big")
if [ "$copied" -eq 0 ] || [ "$copied" -ge 60000 ]; then
  fail "expected a part of e2e_big copied, found $copied rows"
fi
[ "$(sort "$work/conf/Vantrel.conf")" = "$settings_before" ] || fail "the settings changed when the program was killed"
start_program
# The table window (536 x 368) is the first window again, not the connection window.
eval "$(xdotool getwindowgeometry --shell "$window")"
if [ "$WIDTH" != 536 ] || [ "$HEIGHT" != 368 ]; then
  fail "expected the table window at start, got ${WIDTH}x${HEIGHT}"
fi
echo "real window: all steps passed"
