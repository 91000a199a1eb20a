# shellcheck shell=bash disable=SC2154  # program and shots are the caller's
# Shared by the real-window tests, which source it: the servers' command-line clients, an X
# server, the program, its windows and its message boxes. The caller sets `program` (the
# executable) and `shots` (the folder for screenshots), calls e2e_setup, and then uses the
# functions below. Every wait polls a condition up to a deadline, never a fixed time, so a
# busy machine only makes the test slower.

: "${QS_PG_PORT:?run through scripts/test, which starts the sandbox servers}"

# Clients of the sandbox servers, in UTF-8; time-zone-aware values are read in UTC, as the
# program's sessions do, and GROUP_CONCAT is not cut short.
my() {
  mariadb --no-defaults --default-character-set=utf8mb4 --protocol=tcp -h "$QS_MY_HOST" -P "$QS_MY_PORT" \
    -u "$QS_MY_USER" -p"$QS_MY_PASSWORD" -N -B \
    --init-command="SET SESSION time_zone = '+00:00', group_concat_max_len = 1073741824" "$QS_MY_DATABASE" "$@"
}
pg() {
  PGPASSWORD=$QS_PG_PASSWORD PGCLIENTENCODING=UTF8 PGOPTIONS="-c TimeZone=UTC -c client_min_messages=warning" \
    psql -X -q -t -A -v ON_ERROR_STOP=1 -h "$QS_PG_HOST" -p "$QS_PG_PORT" -U "$QS_PG_USER" "$QS_PG_DATABASE" "$@"
}

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Runs the command until it succeeds, for at most LIMIT seconds; false if it never did.
poll() {
  local limit=$1 end
  shift
  end=$((SECONDS + limit))
  until "$@"; do
    ((SECONDS < end)) || return 1
    sleep 0.2
  done
}

e2e_cleanup() {
  if [ -n "${app:-}" ]; then
    kill "$app" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
  fi
  if [ -n "${xvfb:-}" ]; then kill "$xvfb" 2>/dev/null || true; fi
  if [ -n "${bus_pid:-}" ]; then kill "$bus_pid" 2>/dev/null || true; fi
  # The tests that run later share the servers: they find empty databases, in the
  # character set the sandbox gave them.
  if [ -n "${sandbox_charset:-}" ]; then empty_databases "$sandbox_charset" || true; fi
  rm -rf "$work"
}

# A temporary folder, an X server of its own (the server picks a free display) and the
# program's settings pointing at the sandbox servers.
e2e_setup() {
  mkdir -p "$shots"
  work=$(mktemp -d)
  trap e2e_cleanup EXIT
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  xvfb=$!
  poll 30 test -s "$work/display" || fail "Xvfb did not start"
  DISPLAY=:$(head -1 "$work/display")
  export DISPLAY
  poll 30 xdpyinfo >/dev/null 2>&1 || fail "Xvfb does not answer on $DISPLAY"
  unset QT_QPA_PLATFORM

  # The program opens its home page in the browser on one start in a hundred, and reports
  # an error where no browser can be started. Here the browser notes the address.
  mkdir "$work/bin"
  printf '#!/bin/sh\necho "$*" >>"%s/browser.log"\n' "$work" >"$work/bin/xdg-open"
  chmod +x "$work/bin/xdg-open"

  mkdir -m 0700 "$work/conf"
  (
    umask 077
    cat >"$work/conf/Vantrel.conf" <<CONF
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
}

# Empties both databases, every PostgreSQL schema included (the sandbox is throwaway). The
# MySQL database is created in latin1, as older servers create them: the program must not
# depend on its default.
reset_databases() {
  [ -n "${sandbox_charset:-}" ] || sandbox_charset=$(my -e "SELECT @@character_set_database")
  empty_databases latin1
}
empty_databases() {
  my -e "DROP DATABASE \`$QS_MY_DATABASE\`; CREATE DATABASE \`$QS_MY_DATABASE\` CHARACTER SET $1"
  pg -c "DO \$\$
         DECLARE schema name;
         BEGIN
           FOR schema IN SELECT nspname FROM pg_namespace
                         WHERE nspname NOT LIKE 'pg\\_%' AND nspname <> 'information_schema' LOOP
             EXECUTE format('DROP SCHEMA %I CASCADE', schema);
           END LOOP;
         END \$\$;
         CREATE SCHEMA public;"
}

program_alive() { kill -0 "$app" 2>/dev/null; }

# The program's visible windows, one id a line.
program_windows() { xdotool search --onlyvisible --pid "$app" 2>/dev/null || true; }

# A session bus of the test's own, with the accessibility bus on it: the program's controls
# can then be read as a screen reader reads them (a11y_controls). Call before start_program.
a11y_setup() {
  dbus-daemon --session --nofork --print-address=4 --print-pid=5 4>"$work/bus" 5>"$work/bus.pid" 2>/dev/null &
  poll 30 test -s "$work/bus.pid" || fail "no session bus"
  bus_pid=$(head -1 "$work/bus.pid")
  DBUS_SESSION_BUS_ADDRESS=$(head -1 "$work/bus")
  export DBUS_SESSION_BUS_ADDRESS
  a11y_bus=$(gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus --method org.a11y.Bus.GetAddress) ||
    fail "no accessibility bus"
  a11y_bus=${a11y_bus#(\'}
  a11y_bus=${a11y_bus%\',)}
  export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
}
a11y_call() { gdbus call --address "$a11y_bus" "$@" 2>/dev/null; }
# A string of gdbus's answer: "('text',)" or "(<'text'>,)" gives text.
a11y_text() {
  local text=$1
  text=${text#(}
  text=${text#<}
  text=${text%,)}
  text=${text%>}
  echo "${text:1:${#text}-2}"
}
# The controls of the program's windows, one a line: "role|name|x y width height" on the
# screen; the frames' own controls are listed, the items of the lists are not.
a11y_controls() {
  local app
  app=$(a11y_call --dest org.a11y.atspi.Registry --object-path /org/a11y/atspi/accessible/root \
    --method org.a11y.atspi.Accessible.GetChildren | grep -o "':[0-9.]*'" | head -1 | tr -d "'")
  [ -n "$app" ] || return 1
  a11y_walk "$app" /org/a11y/atspi/accessible/root 0
}
a11y_walk() {
  local app=$1 path=$2 depth=$3 role name extents child
  role=$(a11y_text "$(a11y_call --dest "$app" --object-path "$path" --method org.a11y.atspi.Accessible.GetRoleName)")
  if ((depth >= 2)); then
    name=$(a11y_text "$(a11y_call --dest "$app" --object-path "$path" \
      --method org.freedesktop.DBus.Properties.Get org.a11y.atspi.Accessible Name)")
    extents=$(a11y_call --dest "$app" --object-path "$path" --method org.a11y.atspi.Component.GetExtents 0 | tr -d '(),')
    echo "$role|$name|$extents"
  fi
  { [ "$role" != list ] && ((depth < 3)); } || return 0
  for child in $(a11y_call --dest "$app" --object-path "$path" --method org.a11y.atspi.Accessible.GetChildren |
    grep -o "'/org/a11y/atspi/accessible/[^']*'" | tr -d "'"); do
    a11y_walk "$app" "$child" $((depth + 1))
  done
}
# What the line below the table window's bar says.
summary_line() { a11y_controls | awk -F'|' '$1 == "label" { print $2 }'; }

# Sets `window` to the main window once it is shown with its lists filled (they are filled
# before it is shown).
start_program() {
  PATH=$work/bin:$PATH XDG_CONFIG_HOME=$work/conf "$program" >>"$work/program.log" 2>&1 &
  app=$!
  window=
  local end=$((SECONDS + 60)) id
  while [ -z "$window" ]; do
    program_alive || fail "the program ended at start: $(cat "$work/program.log")"
    if ((SECONDS >= end)); then
      import -window root "$shots/start-failed.png" || true
      fail "no program window within 60 s; its windows: [$(for id in $(xdotool search --pid "$app"); do
        echo "$id '$(xdotool getwindowname "$id")'"; done | tr '\n' ' ')], its log: $(cat "$work/program.log")"
    fi
    for id in $(program_windows); do
      [ "$(xdotool getwindowname "$id" 2>/dev/null)" = Quillstone ] && window=$id
    done
    [ -n "$window" ] || sleep 0.2
  done
}

# Waits until a window has been painted: an unpainted window is one flat colour.
await_painted() {
  # shellcheck disable=SC2034  # set by the eval
  local X Y WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$1")"
  poll 30 painted "$X" "$Y" "$WIDTH" "$HEIGHT" || fail "the window $1 was not painted"
}
painted() {
  [ "$(import -window root -crop "$3x$4+$1+$2" -format '%[fx:standard_deviation > 0]' info: 2>/dev/null)" = 1 ]
}

# A picture of the main window, with the box given over it, once both are painted.
shoot() {
  # shellcheck disable=SC2034  # set by the eval
  local X Y WIDTH HEIGHT SCREEN
  await_painted "$window"
  [ -z "${2:-}" ] || await_painted "$2"
  eval "$(xdotool getwindowgeometry --shell "$window")"
  import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$shots/$1.png"
}

# A picture of the whole screen once the box given is painted.
shoot_screen() {
  await_painted "$2"
  import -window root "$shots/$1.png"
}

# Mouse and keyboard, at positions inside the main window.
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
shift_click() { xdotool mousemove --window "$window" "$1" "$2" keydown shift click 1 keyup shift; }
# Keys go to the focused window through the X test extension, as typed keys do.
press() {
  xdotool windowfocus --sync "$1" 2>/dev/null || true
  xdotool key "$2"
}

# Positions in the table window (536 x 405 at first): list rows are 14 pixels high from
# y = 40. A window made wider or taller than that gives each list half of the width and all
# of the height gained: what lies below the lists moves down, the right half moves right.
wider=0
taller=0
row_y() { echo $((40 + 14 * $1)); }
right_x() { echo $(($1 + wider / 2)); }
mysql_row() { click 60 "$(row_y "$1")"; }
postgresql_row() { click "$(right_x 330)" "$(row_y "$1")"; }
postgresql_shift_row() { shift_click "$(right_x 330)" "$(row_y "$1")"; }
mysql_select_all() { click 77 $((161 + taller)); }
send_to_postgresql() { click 135 $((194 + taller)); }
send_to_mysql() { click "$(right_x 399)" $((194 + taller)); }
delete_mysql() { click 135 $((227 + taller)); }
rename_postgresql() { click "$(right_x 399)" $((261 + taller)); }
back() { click 135 $((345 + taller)); }
foreign_keys_choice() { click $((374 + wider)) $((381 + taller)); }
stop() { click $((480 + wider)) $((381 + taller)); }

# Sessions the program has open on the servers: a click's work is over when there are none.
program_sessions() {
  local on_pg on_my
  on_pg=$(pg -c "SELECT count(*) FROM pg_stat_activity WHERE application_name = 'Quillstone'")
  on_my=$(my -e "SELECT count(*) FROM information_schema.PROCESSLIST WHERE ID <> CONNECTION_ID()")
  echo $((on_pg + on_my))
}

# Boxes: the program's visible windows other than the main one, "id title" a line. A
# window that has gone meanwhile has no name to read and is left out.
boxes() {
  local id name
  for id in $(program_windows); do
    [ "$id" != "$window" ] || continue
    if name=$(xdotool getwindowname "$id" 2>/dev/null); then echo "$id $name"; fi
  done
}

# Ends the test at a box nobody expected, keeping its picture: its text cannot be read
# from outside the program.
unexpected_box() {
  local id=$1 title=$2
  unexpected=$((${unexpected:-0} + 1))
  shoot_screen "unexpected-box-$unexpected" "$id"
  fail "an unexpected box \"$title\" appeared (picture: $shots/unexpected-box-$unexpected.png)"
}

# Waits for a box titled TITLE, for at most LIMIT seconds, and sets `box` to it. Any other
# box ends the test.
await_box() {
  local title=$1 limit=${2:-60} end id name
  end=$((SECONDS + limit))
  box=
  while :; do
    while read -r id name; do
      if [ "$name" = "$title" ]; then
        box=$id
        return 0
      fi
      unexpected_box "$id" "$name"
    done < <(boxes)
    program_alive || fail "the program ended while a \"$title\" box was awaited"
    ((SECONDS < end)) || fail "no \"$title\" box within $limit s"
    sleep 0.2
  done
}

# Answers the box with a key and waits until it has gone.
answer() {
  press "$box" "$1"
  poll 30 box_gone "$box" || fail "the box stayed open after $1"
}
box_gone() { ! program_windows | grep -qx "$1"; }

# Waits, for at most LIMIT seconds, until the program's click is over: no box and no
# session on either server. Any box ends the test.
await_idle() {
  local limit=${1:-120} end id name
  end=$((SECONDS + limit))
  while :; do
    while read -r id name; do
      unexpected_box "$id" "$name"
    done < <(boxes)
    [ "$(program_sessions)" = 0 ] && [ -z "$(boxes)" ] && return 0
    program_alive || fail "the program ended during its work: $(cat "$work/program.log")"
    ((SECONDS < end)) || fail "the program was still at work after $limit s"
    sleep 0.2
  done
}
