# shellcheck shell=bash
# Compares copied tables with their sources, every column; sourced after lib.sh. Each server
# computes an md5 of a column's values as text in key order, and each side writes the
# spelling that the program's type rules lead to, so the two agree only when every value
# arrived as the rules say. Floating-point columns are compared by value instead (as
# doubles, in PostgreSQL), since the two servers spell a double differently. A difference
# is recorded in `faults`, with the first rows that differ.

faults=()
fault() {
  echo "FAULT: $*" >&2
  faults+=("$*")
}

quote_my() { echo "\`$1\`"; }
quote_pg() { echo "\"$1\""; }
# The key columns, separated by blanks, as an ORDER BY list.
keys_my() {
  local column list=''
  for column in $1; do list+="${list:+, }$(quote_my "$column")"; done
  echo "$list"
}
keys_pg() {
  local column list=''
  for column in $1; do list+="${list:+, }$(quote_pg "$column")"; done
  echo "$list"
}
# md5 of one text a row, "=value" or "-" for NULL, in key order.
hash_my() { echo "MD5(COALESCE(GROUP_CONCAT(IFNULL(CONCAT('=', $1), '-') ORDER BY $2 SEPARATOR '|'), ''))"; }
hash_pg() { echo "md5(coalesce(string_agg(coalesce('=' || $1, '-'), '|' ORDER BY $2), ''))"; }
# One row of tab-separated values.
row_my() { my -e "$1"; }
row_pg() { pg -F $'\t' -c "$1"; }
# One text a row in key order, escaped alike by both clients, for a report.
lines_my() { my -e "SELECT IFNULL(CONCAT('=', $1), '-') FROM $2 ORDER BY $3"; }
lines_pg() { pg -c "COPY (SELECT coalesce('=' || $1, '-') FROM $2 ORDER BY $3) TO STDOUT"; }

# A source column's rule: "kind target-type" for the column's type (for PostgreSQL, a
# domain's base type). Kinds name the spelling each side writes, below.
rule_mysql_to_pg() {
  case $1 in
    tinyint* | smallint* | mediumint* | int* | bigint* | year*) echo "int numeric" ;;
    "bit(1)") echo "bool boolean" ;;
    bit*) echo "bits bytea" ;;
    date) echo "date date" ;;
    binary* | varbinary* | tinyblob | blob | mediumblob | longblob | geometry* | point | linestring | polygon | multi*)
      echo "bytes bytea" ;;
    float*) echo "float text" ;;
    double*) echo "double text" ;;
    *) echo "text text" ;;
  esac
}
rule_pg_to_mysql() {
  case $1 in
    smallint | integer | bigint) echo "int bigint" ;;
    numeric\(*) echo "decimal decimal${1#numeric}" ;;
    numeric) echo "numeric decimal(65,30)" ;;
    real) echo "float float" ;;
    "double precision") echo "double double" ;;
    date) echo "date datetime" ;;
    "timestamp with time zone" | timestamp\(*\)" with time zone") echo "tstz datetime(6)" ;;
    timestamp*) echo "ts datetime(6)" ;;
    bytea) echo "bytes longblob" ;;
    boolean) echo "bool longtext" ;;
    character\(*) echo "char longtext" ;;
    *) echo "other longtext" ;;
  esac
}

# The text of a column of a kind, as written by each side: DIRECTION SIDE KIND COLUMN [BITS].
text_of() {
  case $1:$2:$3 in
    mysql_to_pg:my:int) echo "$4 + 0" ;;
    mysql_to_pg:my:bool) echo "CASE WHEN $4 IS NULL THEN NULL WHEN $4 = 1 THEN 'true' ELSE 'false' END" ;;
    mysql_to_pg:my:bits) echo "LOWER(LPAD(HEX($4), 2 * CEIL($5 / 8), '0'))" ;;
    # A zero date, or one with a zero month or day, has no PostgreSQL value.
    mysql_to_pg:my:date) echo "IF(MONTH($4) = 0 OR DAYOFMONTH($4) = 0, NULL, $4)" ;;
    # GROUP_CONCAT cuts a DOUBLE's text to the length its type declares, shorter than the
    # longest texts; a CHAR of a given length is kept whole.
    mysql_to_pg:my:double) echo "CAST($4 AS CHAR(64))" ;;
    mysql_to_pg:pg:bits | mysql_to_pg:pg:bytes | pg_to_mysql:pg:bytes) echo "encode($4, 'hex')" ;;
    mysql_to_pg:pg:*) echo "$4::text" ;;
    pg_to_mysql:pg:numeric) echo "trim_scale($4)::text" ;;
    pg_to_mysql:pg:date) echo "to_char($4, 'YYYY-MM-DD') || ' 00:00:00'" ;;
    pg_to_mysql:pg:ts) echo "to_char($4, 'YYYY-MM-DD HH24:MI:SS.US')" ;;
    pg_to_mysql:pg:tstz) echo "to_char($4 AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS.US')" ;;
    # true or false; character(n) without its pad blanks.
    pg_to_mysql:pg:int | pg_to_mysql:pg:bool | pg_to_mysql:pg:char) echo "$4::text" ;;
    # The type's own output, as the client reads it: a cast to text may differ (an inet
    # gains its /32).
    pg_to_mysql:pg:*) echo "CASE WHEN $4 IS NOT NULL THEN format('%s', $4) END" ;;
    # DECIMAL(65,30) writes thirty places; PostgreSQL writes those the value has.
    pg_to_mysql:my:numeric) echo "TRIM(TRAILING '.' FROM TRIM(TRAILING '0' FROM $4))" ;;
    *:my:bytes) echo "LOWER(HEX($4))" ;;
    *:my:*) echo "CONVERT($4 USING utf8mb4)" ;;
  esac
}

# Whether a column of a kind is compared by value: DIRECTION KIND. A MySQL DOUBLE arrives
# as MySQL's text and is compared as text.
by_value() { [ "$2" = float ] || [ "$1:$2" = pg_to_mysql:double ]; }

# A floating-point column as a double on each side: DIRECTION SIDE KIND COLUMN.
double_of() {
  case $1:$2:$3 in
    *:my:*) echo "CAST($4 AS DOUBLE)" ;;
    mysql_to_pg:pg:*) echo "$4::float4::float8" ;;
    pg_to_mysql:pg:float) echo "$4::float8" ;;
    pg_to_mysql:pg:double) echo "$4" ;;
  esac
}

# The significant digits of a number's text, without sign, point, exponent and outer zeros.
significant_digits() {
  echo "regexp_replace(regexp_replace(split_part($1, 'e', 1), '[-.]', '', 'g'), '^0+|0+\$', '', 'g')"
}

# Compares a column of doubles in key order, given as a query on each server; prints the
# first rows that differ. PG_QUERY yields (n, v), n the row's place in key order.
compare_doubles() {
  local my_query=$1 pg_query=$2 data
  data=$(mktemp)
  my -e "$my_query" >"$data"
  {
    echo "CREATE TEMP TABLE other (n bigserial, v text);"
    echo "COPY other (v) FROM STDIN WITH (NULL 'NULL');"
    cat "$data"
    echo '\.'
    echo "SELECT format('row %s in key order: PostgreSQL %s, MySQL %s', n, coalesce(mine.v::text, 'NULL'),
                        coalesce(other.v, 'NULL'))
          FROM ($pg_query) AS mine FULL JOIN other USING (n)
          WHERE (mine.v IS NULL) <> (other.v IS NULL) OR mine.v <> other.v::float8
          ORDER BY n LIMIT 5;"
  } | pg 2>&1
  rm -f "$data"
}

# The columns of the source table, "name<TAB>kind<TAB>target-type<TAB>bits" a line.
columns_mysql() {
  local name type kind target
  while IFS=$'\t' read -r name type; do
    read -r kind target <<<"$(rule_mysql_to_pg "$type")"
    printf '%s\t%s\t%s\t%s\n' "$name" "$kind" "$target" "$(sed -n 's/^bit(\([0-9]*\))$/\1/p' <<<"$type")"
  done < <(my -e "SELECT column_name, column_type FROM information_schema.columns
                  WHERE table_schema = DATABASE() AND table_name = '$1' ORDER BY ordinal_position")
}
columns_pg() {
  local name type kind target
  while IFS=$'\t' read -r name type; do
    read -r kind target <<<"$(rule_pg_to_mysql "$type")"
    printf '%s\t%s\t%s\t\n' "$name" "$kind" "$target"
  done < <(pg -F $'\t' -c "SELECT a.attname,
                                  format_type(CASE t.typtype WHEN 'd' THEN t.typbasetype ELSE a.atttypid END,
                                              CASE t.typtype WHEN 'd' THEN t.typtypmod ELSE a.atttypmod END)
                           FROM pg_attribute a JOIN pg_type t ON t.oid = a.atttypid
                           WHERE a.attrelid = '$(quote_pg "$1")'::regclass AND a.attnum > 0
                             AND NOT a.attisdropped
                           ORDER BY a.attnum")
}
# The copy's columns, "name target-type" a line.
copied_columns_my() {
  my -e "SELECT CONCAT(column_name, ' ', IF(data_type = 'bigint', 'bigint', column_type))
         FROM information_schema.columns
         WHERE table_schema = DATABASE() AND table_name = '$1' ORDER BY ordinal_position"
}
copied_columns_pg() {
  pg -c "SELECT column_name || ' ' || data_type FROM information_schema.columns
         WHERE table_schema = 'public' AND table_name = '$1' ORDER BY ordinal_position"
}

# Compares the copy of a table with its source. DIRECTION: mysql_to_pg or pg_to_mysql;
# KEYS: the columns that order the rows, separated by blanks.
compare_copy() {
  local direction=$1 table=$2 keys=$3 from to from_name to_name
  if [ "$direction" = mysql_to_pg ]; then
    from=my to=pg from_name=MySQL to_name=PostgreSQL
  else
    from=pg to=my from_name=PostgreSQL to_name=MySQL
  fi
  local from_table to_table from_keys to_keys source_count copy_count
  from_table=$("quote_$from" "$table")
  to_table=$("quote_$to" "$table")
  from_keys=$("keys_$from" "$keys")
  to_keys=$("keys_$to" "$keys")
  source_count=$("row_$from" "SELECT count(*) FROM $from_table")
  if ! copy_count=$("row_$to" "SELECT count(*) FROM $to_table" 2>&1); then
    fault "$table: no copy on $to_name ($copy_count)"
    return
  fi
  [ "$source_count" = "$copy_count" ] || fault "$table: $source_count rows on $from_name, $copy_count on $to_name"

  local names=() kinds=() bits=() expected='' copied name kind target bit
  while IFS=$'\t' read -r name kind target bit; do
    names+=("$name")
    kinds+=("$kind")
    bits+=("$bit")
    expected+="${expected:+$'\n'}$name $target"
  done < <("columns_${direction%%_to_*}" "$table")
  copied=$("copied_columns_$to" "$table")
  if [ "$copied" != "$expected" ]; then
    fault "$table: the $to_name columns are [${copied//$'\n'/, }], expected [${expected//$'\n'/, }]"
    # With the same names the values are still compared: later faults may come from this one.
    [ "$(cut -d' ' -f1 <<<"$copied")" = "$(printf '%s\n' "${names[@]}")" ] || return
  fi

  local i from_list='' to_list='' from_hashes to_hashes h=0 from_column to_column wrong
  for i in "${!names[@]}"; do
    ! by_value "$direction" "${kinds[$i]}" || continue
    from_column=$("quote_$from" "${names[$i]}")
    to_column=$("quote_$to" "${names[$i]}")
    from_list+="${from_list:+, }$("hash_$from" "$(text_of "$direction" "$from" "${kinds[$i]}" "$from_column" "${bits[$i]}")" "$from_keys")"
    to_list+="${to_list:+, }$("hash_$to" "$(text_of "$direction" "$to" "${kinds[$i]}" "$to_column" "${bits[$i]}")" "$to_keys")"
  done
  IFS=$'\t' read -r -a from_hashes <<<"$("row_$from" "SELECT $from_list FROM $from_table")"
  IFS=$'\t' read -r -a to_hashes <<<"$("row_$to" "SELECT $to_list FROM $to_table")"

  for i in "${!names[@]}"; do
    name=${names[$i]}
    kind=${kinds[$i]}
    from_column=$("quote_$from" "$name")
    to_column=$("quote_$to" "$name")
    if by_value "$direction" "$kind"; then
      local my_query pg_query
      my_query="SELECT $(double_of "$direction" my "$kind" "$(quote_my "$name")") FROM $(quote_my "$table")
                ORDER BY $(keys_my "$keys")"
      pg_query="SELECT row_number() OVER (ORDER BY $(keys_pg "$keys")) AS n,
                       $(double_of "$direction" pg "$kind" "$(quote_pg "$name")") AS v
                FROM $(quote_pg "$table")"
      wrong=$(compare_doubles "$my_query" "$pg_query")
      [ -z "$wrong" ] || fault "$table.$name: the numbers differ: $wrong"
      if [ "$direction" = mysql_to_pg ] && [ "$kind" = float ]; then
        # The copy holds the shortest text that reads back as the same float.
        wrong=$(pg -c "SELECT $to_column FROM $to_table
                       WHERE $(significant_digits "$to_column") <> $(significant_digits "$to_column::float4::text")
                       LIMIT 5" 2>&1 || true)
        [ -z "$wrong" ] || fault "$table.$name: not the float's shortest text: ${wrong//$'\n'/ }"
      fi
      continue
    fi
    if [ "${from_hashes[$h]}" != "${to_hashes[$h]}" ]; then
      fault "$table.$name: the values differ; first differences (< $from_name, > $to_name):
$(diff <("lines_$from" "$(text_of "$direction" "$from" "$kind" "$from_column" "${bits[$i]}")" "$from_table" "$from_keys") \
        <("lines_$to" "$(text_of "$direction" "$to" "$kind" "$to_column" "${bits[$i]}")" "$to_table" "$to_keys") |
        head -8 || true)"
    fi
    h=$((h + 1))
  done
}

# A table's shape, a sorted line each, as each catalogue has it: its primary key, unique
# keys and plain b-tree indexes by their columns ("primary key (a, b)", "unique (c)",
# "index (d)"), its NOT NULL columns, its auto-increment column, its foreign keys and
# comments. Index names are left out: PostgreSQL keeps them per schema, so a copy may have to
# take another. Full-text, spatial, expression and partial indexes are not carried, and not
# listed; nor is an index named as a foreign key of the table, which MySQL makes for a key
# whose columns lead no index.
keys_of_my() {
  my -e "SELECT CONCAT(IF(INDEX_NAME = 'PRIMARY', 'primary key', IF(NON_UNIQUE = 0, 'unique', 'index')), ' (',
                       GROUP_CONCAT(COLUMN_NAME ORDER BY SEQ_IN_INDEX SEPARATOR ', '), ')')
         FROM information_schema.STATISTICS
         WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = '$1' AND INDEX_TYPE IN ('BTREE', 'HASH')
           AND INDEX_NAME NOT IN (SELECT CONSTRAINT_NAME FROM information_schema.REFERENTIAL_CONSTRAINTS
                                  WHERE CONSTRAINT_SCHEMA = DATABASE() AND TABLE_NAME = '$1')
         GROUP BY INDEX_NAME, NON_UNIQUE" | LC_ALL=C sort
}
keys_of_pg() {
  pg -c "SELECT CASE WHEN i.indisprimary THEN 'primary key' WHEN i.indisunique THEN 'unique' ELSE 'index' END
                || ' (' || (SELECT string_agg(a.attname, ', ' ORDER BY k.n)
                            FROM unnest(i.indkey::int2[]) WITH ORDINALITY AS k(attnum, n)
                            JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = k.attnum
                            WHERE k.n <= i.indnkeyatts) || ')'
         FROM pg_index i JOIN pg_class x ON x.oid = i.indexrelid JOIN pg_am am ON am.oid = x.relam
         WHERE i.indrelid = '$(quote_pg "$1")'::regclass AND am.amname = 'btree' AND i.indexprs IS NULL
           AND i.indpred IS NULL
           AND x.relname NOT IN (SELECT conname FROM pg_constraint WHERE conrelid = i.indrelid AND contype = 'f')" |
    LC_ALL=C sort
}
# Its foreign keys without their names (a partition's copy takes another for its partitioned
# table's key), "(a) REFERENCES t (x) ON DELETE rule ON UPDATE rule"; its comments, "table: text"
# and "column: text".
foreign_keys_of_my() {
  my -e "SELECT CONCAT('(', GROUP_CONCAT(COLUMN_NAME ORDER BY ORDINAL_POSITION SEPARATOR ', '), ') REFERENCES ',
    k.REFERENCED_TABLE_NAME, ' (', GROUP_CONCAT(REFERENCED_COLUMN_NAME ORDER BY ORDINAL_POSITION SEPARATOR ', '),
    ') ON DELETE ', DELETE_RULE, ' ON UPDATE ', UPDATE_RULE) FROM information_schema.KEY_COLUMN_USAGE k
    JOIN information_schema.REFERENTIAL_CONSTRAINTS USING (CONSTRAINT_SCHEMA, CONSTRAINT_NAME, TABLE_NAME)
    WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = '$1' GROUP BY CONSTRAINT_NAME" | LC_ALL=C sort
}
foreign_keys_of_pg() {
  local rule="CASE c.conf%stype WHEN 'c' THEN 'CASCADE' WHEN 'n' THEN 'SET NULL' WHEN 'd' THEN 'SET DEFAULT'
    WHEN 'r' THEN 'RESTRICT' ELSE 'NO ACTION' END" columns="(SELECT string_agg(attname, ', ' ORDER BY i)
    FROM unnest(c.%s) WITH ORDINALITY k(n, i) JOIN pg_attribute ON attrelid = c.%s AND attnum = n)"
  # shellcheck disable=SC2059  # the rule and the columns are formats
  pg -c "SELECT '(' || $(printf "$columns" conkey conrelid) || ') REFERENCES '
    || (SELECT relname FROM pg_class WHERE oid = confrelid) || ' ('
    || $(printf "$columns" confkey confrelid) || ') ON DELETE ' || $(printf "$rule" del) || ' ON UPDATE '
    || $(printf "$rule" upd) FROM pg_constraint c WHERE contype = 'f' AND conrelid = '$(quote_pg "$1")'::regclass" |
    LC_ALL=C sort
}
comments_of_my() {
  my -e "SELECT CONCAT('table: ', TABLE_COMMENT) FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE()
    AND TABLE_NAME = '$1' AND TABLE_TYPE = 'BASE TABLE' AND TABLE_COMMENT <> '' UNION ALL SELECT CONCAT(COLUMN_NAME,
    ': ', COLUMN_COMMENT) FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = '$1'
    AND COLUMN_COMMENT <> ''" | LC_ALL=C sort
}
comments_of_pg() {
  pg -c "SELECT coalesce(attname, 'table') || ': ' || description FROM pg_description LEFT JOIN pg_attribute
    ON attrelid = objoid AND attnum = objsubid AND objsubid > 0
    WHERE classoid = 'pg_class'::regclass AND objoid = '$(quote_pg "$1")'::regclass" | LC_ALL=C sort
}
not_null_of_my() {
  my -e "SELECT COLUMN_NAME FROM information_schema.COLUMNS
         WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = '$1' AND IS_NULLABLE = 'NO'" | LC_ALL=C sort
}
not_null_of_pg() {
  pg -c "SELECT attname FROM pg_attribute
         WHERE attrelid = '$(quote_pg "$1")'::regclass AND attnum > 0 AND attnotnull AND NOT attisdropped" |
    LC_ALL=C sort
}
auto_increment_of_my() {
  my -e "SELECT COLUMN_NAME FROM information_schema.COLUMNS
         WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = '$1' AND EXTRA LIKE '%auto_increment%'"
}
auto_increment_of_pg() {
  pg -c "SELECT a.attname FROM pg_attribute a
         LEFT JOIN pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = a.attnum
         WHERE a.attrelid = '$(quote_pg "$1")'::regclass AND a.attnum > 0 AND NOT a.attisdropped
           AND (a.attidentity <> '' OR pg_get_expr(d.adbin, d.adrelid) LIKE 'nextval(%')"
}

# Compares the keys, indexes, NOT NULL columns, auto-increment column, foreign keys and
# comments of a copy with its source's. DIRECTION: mysql_to_pg or pg_to_mysql.
compare_shape() {
  local direction=$1 table=$2 from=pg to=my what source copy
  if [ "$direction" = mysql_to_pg ]; then
    from=my to=pg
  fi
  for what in keys not_null auto_increment foreign_keys comments; do
    source=$("${what}_of_$from" "$table")
    copy=$("${what}_of_$to" "$table")
    [ "$source" = "$copy" ] ||
      fault "$table: the copy's ${what//_/ } are [${copy//$'\n'/; }], its source's [${source//$'\n'/; }]"
  done
}
