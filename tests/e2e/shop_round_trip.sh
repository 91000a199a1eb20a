#!/usr/bin/env bash
# A user's first steps on their own schema, in the real window with mouse and keyboard: the
# choice "Foreign keys" turned on, the shop's MySQL tables and views all sent to PostgreSQL
# with "Select All", then the depot's PostgreSQL tables sent to MySQL as a block of rows.
# Every column of every copy is then compared with its source, and so are its keys, indexes,
# NOT NULL columns, auto-increment column, foreign keys and comments (shop/compare.sh). No box
# but the overwrite questions may appear.
#   shop_round_trip.sh QUILLSTONE SHOTS_DIR
set -euo pipefail
program=$1
shots=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"
# shellcheck source=tests/e2e/shop/compare.sh
source "$here/shop/compare.sh"

e2e_setup
reset_databases
my <"$here/shop/mysql.sql"
pg -f "$here/shop/postgresql.sql"
depot_stock_hash() { pg -c "SELECT md5(string_agg(s::text, '|' ORDER BY item_id)) FROM depot_stock s"; }
depot_stock_before=$(depot_stock_hash)

start_program
# The check box's picture, to wait until it shows the tick before the window is shot.
choice_picture() { import -window "$window" -crop 24x24+322+369 +repage rgb:- 2>/dev/null | md5sum; }
choice_ticked() { [ "$(choice_picture)" != "$unticked" ]; }
await_painted "$window"
unticked=$(choice_picture)
foreign_keys_choice
poll 30 grep -qx "ForeignKeys=1" "$work/conf/Vantrel.conf" || fail "the choice \"Foreign keys\" was not remembered"
poll 30 choice_ticked || fail "the check box \"Foreign keys\" shows no tick"
shoot table-window

# The MySQL list is sorted and worked from the bottom up: the first question is for
# shop_customers, of which PostgreSQL has a stale copy (Yes), the last for depot_stock,
# PostgreSQL's own table of which MySQL has an older copy (No).
started=$SECONDS
mysql_select_all
send_to_postgresql
await_box "Overwrite?" 120
shoot overwrite-question "$box"
answer Return
await_box "Overwrite?" 120
answer alt+n
await_idle 180
echo "MySQL to PostgreSQL: $((SECONDS - started)) s"
[ "$(depot_stock_hash)" = "$depot_stock_before" ] || fault "depot_stock on PostgreSQL changed, though its overwrite was declined"

# The depot's tables are the first seven PostgreSQL rows ("Depot Notes" sorts first), above
# the server's own tables (information_schema.*, pg_*): click the first, Shift+click the
# last. depot_stock, the last, comes first and is now overwritten on MySQL.
started=$SECONDS
postgresql_row 0
postgresql_shift_row 6
send_to_mysql
await_box "Overwrite?" 120
answer Return
await_idle 180
echo "PostgreSQL to MySQL: $((SECONDS - started)) s"
program_alive || fail "the program ended: $(cat "$work/program.log")"

depot_tables=("Depot Notes" depot_items depot_movements depot_movements_2023 depot_movements_2024 depot_slots
  depot_stock)
shop_tables=(shop_categories shop_countries shop_coupons shop_customer_overview shop_customers shop_entrepôts
  shop_newsletter shop_order_items shop_order_totals shop_orders shop_payments shop_product_images shop_products
  shop_reviews shop_stores shop_wishlists)
expected=$(printf '%s\n' "${depot_tables[@]}" "${shop_tables[@]}" | LC_ALL=C sort)
[ "$(my -e "SHOW TABLES" | LC_ALL=C sort)" = "$expected" ] ||
  fault "MySQL holds [$(my -e "SHOW TABLES" | tr '\n' ' ')], expected [$(tr '\n' ' ' <<<"$expected")]"
[ "$(pg -c "SELECT tablename FROM pg_tables WHERE schemaname = 'public'" | LC_ALL=C sort)" = "$expected" ] ||
  fault "PostgreSQL holds [$(pg -c "SELECT tablename FROM pg_tables WHERE schemaname = 'public'" | tr '\n' ' ')], expected [$(tr '\n' ' ' <<<"$expected")]"

started=$SECONDS
for table in "${shop_tables[@]}"; do
  case $table in
    shop_entrepôts) keys=numéro ;;
    shop_order_items) keys="order_id line_no" ;;
    shop_order_totals) keys=order_id ;;
    *) keys=id ;;
  esac
  compare_copy mysql_to_pg "$table" "$keys"
  compare_shape mysql_to_pg "$table"
done
for table in "${depot_tables[@]}"; do
  case $table in
    depot_movements*) keys="id moved_on" ;;
    depot_stock) keys=item_id ;;
    *) keys=id ;;
  esac
  compare_copy pg_to_mysql "$table" "$keys"
  compare_shape pg_to_mysql "$table"
done
echo "comparison: $((SECONDS - started)) s"

[ ${#faults[@]} -eq 0 ] || fail "${#faults[@]} differences between the copies and their sources (above)"
echo "shop round trip: all tables and columns arrived as the type rules say, with their keys and indexes"
