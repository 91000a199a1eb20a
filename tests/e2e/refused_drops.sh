#!/usr/bin/env bash
# Two user paths where the server refuses to drop a table, in the real window:
#  a) a MySQL table sent to PostgreSQL over a table of the same name that a view depends
#     on, answering Yes: one error report, and the PostgreSQL table keeps its rows;
#  b) a MySQL table that a foreign key refers to is deleted (refused), then a PostgreSQL
#     table of that name is sent to MySQL: the program asks before overwriting it;
#  c) a PostgreSQL table whose three 'infinity' times MySQL refuses is sent there: the first
#     refusal's report, then the box of repeated failures, whose details list every row.
# All paths run; every difference from the expected boxes and rows is listed at the end.
#   refused_drops.sh QUILLSTONE SHOTS_DIR
set -euo pipefail
program=$1
shots=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"

faults=()
fault() {
  echo "FAULT: $*" >&2
  faults+=("$*")
}

# Waits for the first box of a click, then answers every box until the click is over,
# recording their titles in `seen`: an overwrite question with the given key, anything
# else with Return. Each box is kept as a picture, NAME-1.png and on.
answer_boxes() {
  local overwrite_key=$1 picture=$2 id name end
  seen=()
  end=$((SECONDS + 60))
  until [ -n "$(boxes)" ]; do
    program_alive || fail "the program ended: $(cat "$work/program.log")"
    if ((SECONDS >= end)); then
      fault "$picture: no box came"
      return
    fi
    sleep 0.2
  done
  end=$((SECONDS + 120))
  while :; do
    while read -r id name; do
      [ -n "$name" ] || continue
      seen+=("$name")
      shoot_screen "$picture-${#seen[@]}" "$id"
      box=$id
      if [ "$name" = "Overwrite?" ]; then answer "$overwrite_key"; else answer Return; fi
    done < <(boxes)
    [ -z "$(boxes)" ] && [ "$(program_sessions)" = 0 ] && return
    program_alive || fail "the program ended: $(cat "$work/program.log")"
    ((SECONDS < end)) || fail "$picture: the program was still at work after 120 s"
    sleep 0.2
  done
}
titles() { (IFS=,; echo "${seen[*]}"); }

e2e_setup
a11y_setup
reset_databases
my -e "CREATE TABLE countries (id TINYINT UNSIGNED PRIMARY KEY, name VARCHAR(40)) DEFAULT CHARSET=utf8mb4;
       INSERT INTO countries VALUES (1, 'France'), (2, 'Côte d''Ivoire'), (3, 'Ísland');
       CREATE TABLE customers (id INT PRIMARY KEY, country_id TINYINT UNSIGNED,
                               FOREIGN KEY (country_id) REFERENCES countries (id)) DEFAULT CHARSET=utf8mb4;
       INSERT INTO customers VALUES (10, 1), (11, 3);
       CREATE TABLE newsletter (id INT, email VARCHAR(100)) DEFAULT CHARSET=utf8mb4;
       INSERT INTO newsletter VALUES (4, 'd@example.com'), (5, 'e@example.com'), (6, NULL), (7, 'g@example.com'),
                                     (8, 'h@example.com');"
# PostgreSQL's tables as an earlier copy made them.
pg -c "CREATE TABLE countries (id numeric, name text); INSERT INTO countries VALUES (1, 'France'), (4, 'Danmark');
       CREATE TABLE newsletter (id numeric, email text);
       INSERT INTO newsletter VALUES (1, 'a@example.com'), (2, 'b@example.com'), (3, 'c@example.com');
       CREATE VIEW newsletter_recent AS SELECT * FROM newsletter WHERE id > 1;
       CREATE TABLE visits (id int, at timestamp);
       INSERT INTO visits VALUES (1, '2024-01-01'), (2, 'infinity'), (3, 'infinity'), (4, NULL), (5, 'infinity');"
newsletter_rows() { pg -c "SELECT string_agg(id || ':' || coalesce(email, ''), ',' ORDER BY id, email) FROM newsletter"; }
countries_rows() { my -e "SELECT GROUP_CONCAT(id, ':', name ORDER BY id) FROM countries"; }
newsletter_before=$(newsletter_rows)
countries_before=$(countries_rows)

# MySQL rows: countries, customers, newsletter. PostgreSQL rows: countries first, then
# newsletter among the server's own tables (information_schema.*, pg_*).
start_program

# a) newsletter to PostgreSQL, Yes: the view keeps the old table from being dropped.
mysql_row 2
send_to_postgresql
answer_boxes Return dependent-view
[ "$(titles)" = "Overwrite?,Application Error" ] ||
  fault "a table with a dependent view sent over with Yes: expected the question and one error report, saw [$(titles)]"
[ "$(newsletter_rows)" = "$newsletter_before" ] ||
  fault "the PostgreSQL newsletter held [$newsletter_before] and now holds [$(newsletter_rows)]"

# b) Delete countries on MySQL: refused, as customers refers to it; one error report.
mysql_row 0
delete_mysql
answer_boxes Return refused-delete
[ "$(titles)" = "Application Error" ] || fault "a refused delete: expected one error report, saw [$(titles)]"
[ "$(my -e "SHOW TABLES LIKE 'countries'")" = countries ] || fault "the MySQL table countries was dropped"
# The table is still there, so sending PostgreSQL's countries asks first; No leaves it.
postgresql_row 0
send_to_mysql
answer_boxes alt+n send-over-kept-table
[ "$(titles)" = "Overwrite?" ] ||
  fault "sending countries to MySQL, where the delete was refused: expected the overwrite question alone, saw [$(titles)]"
[ "$(countries_rows)" = "$countries_before" ] ||
  fault "the MySQL countries held [$countries_before] and now holds [$(countries_rows)]"

# c) visits, the last PostgreSQL row, to MySQL: the box at the click's end shows its details.
postgresql_row 0
press "$window" End
send_to_mysql
await_box "Application Error"
answer Return
await_box "Application Error"
details=$(a11y_controls | awk -F'|' '$1 == "push button" && $2 ~ /^Show Details/ { print $3 }')
[ -n "$details" ] || fail "the box of repeated failures offers no details: $(a11y_controls)"
read -r x y w h <<<"$details"
xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
details_open() { [[ "$(a11y_controls)" == *$'\npush button|Hide Details'* ]]; }
poll 30 details_open || fail "the details did not open"
await_painted "$box"
eval "$(xdotool getwindowgeometry --shell "$box")"
import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$shots/refused-rows-details.png"
answer Escape # Return would press the focused "Hide Details..."
await_idle 60
[ "$(my -e "SELECT GROUP_CONCAT(id ORDER BY id) FROM visits")" = 1,4 ] ||
  fault "the MySQL visits holds [$(my -e "SELECT GROUP_CONCAT(id ORDER BY id) FROM visits")], expected [1,4]"

program_alive || fail "the program ended: $(cat "$work/program.log")"
[ ${#faults[@]} -eq 0 ] || fail "${#faults[@]} faults (above); pictures in $shots"
echo "refused drops: one report each, the tables kept, the question asked; the refused rows in the details"
