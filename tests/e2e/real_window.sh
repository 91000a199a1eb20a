#!/usr/bin/env bash
# Drives the real quillstone executable in a real X server, with keyboard and mouse as a
# person would, against the sandbox servers, then checks what the servers hold: a copy
# over an older one, a rename, a delete, a copy stopped with the Stop button, the window made
# larger, and a copy killed midway. The line below the bar and the places of the controls
# are read from the accessibility bus, as a screen reader reads them.
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
some_rows_copied() { [ "$(pg -c "SELECT count(*) FROM ${1:-e2e_big}" 2>/dev/null || echo 0)" -gt "${2:-0}" ]; }
summary_is_told() { [[ "$(summary_line)" == Stopped:* ]]; }
# A number with thousands separators: 1234567 is 1,234,567.
with_commas() { sed ':a;s/\B[0-9]\{3\}\>/,&/;ta' <<<"$1"; }

# The main window's controls as the accessibility bus shows them: no two overlap, each lies
# inside the window, each list is of the size given. Sets `button_sizes` to the buttons'
# captions and sizes, sorted.
check_layout() {
  local list_size=$1 line role name rect x y w h i j a b ax ay aw ah bx by bw bh
  # shellcheck disable=SC2034  # set by the eval
  local X Y WIDTH HEIGHT SCREEN
  local -a rects=() lines=()
  eval "$(xdotool getwindowgeometry --shell "$window")"
  mapfile -t lines < <(a11y_controls)
  button_sizes=
  for line in "${lines[@]}"; do
    IFS='|' read -r role name rect <<<"$line"
    read -r x y w h <<<"$rect"
    [ "$role" != panel ] || continue
    [ "$role" != list ] || [ "${w}x$h" = "$list_size" ] || fail "a list is ${w}x$h, expected $list_size"
    [ "$role" != "push button" ] || button_sizes+="$name ${w}x$h"$'\n'
    ((x >= X && y >= Y && x + w <= X + WIDTH && y + h <= Y + HEIGHT)) ||
      fail "$role '$name' at $rect lies outside the window at $X $Y ${WIDTH}x$HEIGHT"
    rects+=("$x $y $w $h $role '$name'")
  done
  ((${#rects[@]} >= 17)) || fail "only ${#rects[@]} controls on the accessibility bus: ${lines[*]}"
  for ((i = 0; i < ${#rects[@]}; i++)); do
    for ((j = i + 1; j < ${#rects[@]}; j++)); do
      read -r ax ay aw ah a <<<"${rects[i]}"
      read -r bx by bw bh b <<<"${rects[j]}"
      if ((ax < bx + bw && bx < ax + aw && ay < by + bh && by < ay + ah)); then
        fail "$a and $b overlap"
      fi
    done
  done
  button_sizes=$(sort <<<"$button_sizes")
}

e2e_setup
a11y_setup
# e2e_books goes to PostgreSQL over an older copy there, e2e_old is renamed on PostgreSQL,
# e2e_drop deleted on MySQL, e2e_stop stopped on its way to PostgreSQL.
reset_databases
my -e "CREATE TABLE e2e_books (id INT, title VARCHAR(50)) DEFAULT CHARSET=utf8mb4;
       INSERT INTO e2e_books VALUES (1, 'Middlemarch'), (2, 'O''Connor stories'), (3, NULL);
       CREATE TABLE e2e_drop (id INT);
       CREATE TABLE e2e_stop (id INT, label VARCHAR(40)) SELECT seq AS id, CONCAT('row ', seq) AS label
       FROM seq_1_to_1000000;"
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

# Stop, pressed once in the middle of a copy: the rows sent so far stay, no box is shown, and
# the line below the bar tells what was done.
mysql_row 1
send_to_postgresql
poll 60 some_rows_copied e2e_stop 20000 || fail "the copy of e2e_stop did not get going"
shoot copy-running
stop
stopped_at=$SECONDS
await_idle 30
((SECONDS - stopped_at <= 5)) || fail "the copy went on for $((SECONDS - stopped_at)) s after Stop"
copied=$(pg -c "SELECT count(*) FROM e2e_stop")
((copied > 0 && copied < 1000000)) || fail "expected a part of e2e_stop copied, found $copied rows"
poll 30 summary_is_told || fail "the line below the bar says '$(summary_line)'"
summary=$(summary_line)
[[ "$summary" == "Stopped: 0 of 1 table copied, 1 in part: $(with_commas "$copied") rows written; in "* ]] ||
  fail "$copied rows copied, and the line below the bar says '$summary'"
shoot copy-summary

# Made larger, the lists take the room, the buttons keep their size, nothing overlaps; the
# size is remembered for the next start.
check_layout 222x109
buttons_before=$button_sizes
xdotool windowsize --sync "$window" 760 560
wider=224
taller=155
list_grown() { a11y_controls | grep '^list||[0-9]* [0-9]* 334 264$' >/dev/null; }
poll 30 list_grown || fail "the lists did not grow with the window: $(a11y_controls | grep '^list')"
check_layout 334x264
shoot table-window-larger
[ "$button_sizes" = "$buttons_before" ] || fail "the buttons were [$buttons_before], now [$button_sizes]"
poll 30 grep -qx "TableWindowSize=760x560" "$work/conf/Vantrel.conf" || fail "the window's size was not remembered"

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
my -e "CREATE TABLE e2e_big (id INT, label VARCHAR(40)) SELECT seq AS id, CONCAT('row ', seq) AS label FROM seq_1_to_1000000"
settings_before=$(sort "$work/conf/Vantrel.conf")
start_program
mysql_row 0
send_to_postgresql
poll 60 some_rows_copied || fail "no row of e2e_big reached PostgreSQL"
kill -9 "$app"
wait "$app" 2>/dev/null || true
copied=$(pg -c "SELECT count(*) FROM e2e_big")
if [ "$copied" -eq 0 ] || [ "$copied" -ge 1000000 ]; then
  fail "expected a part of e2e_big copied, found $copied rows"
fi
[ "$(sort "$work/conf/Vantrel.conf")" = "$settings_before" ] || fail "the settings changed when the program was killed"
start_program
# The table window is the first window again, not the connection window, at the size it was
# left at.
eval "$(xdotool getwindowgeometry --shell "$window")"
if [ "$WIDTH" != 760 ] || [ "$HEIGHT" != 560 ]; then
  fail "expected the table window at 760x560 at start, got ${WIDTH}x${HEIGHT}"
fi
echo "real window: all steps passed"
