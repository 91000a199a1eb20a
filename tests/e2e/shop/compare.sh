# Compares copied tables with their sources, every column, sourced by the shop test after
# lib.sh. Each server computes an md5 of its column's values as text in key order; the two
# texts differ only where the program's type rules change a value's spelling, and each
# side writes the spelling its rule leads to. Floating-point columns are compared by value
# instead (in PostgreSQL, as doubles), since the two servers spell a double differently.
# A difference is recorded in `faults` with the first rows that differ.

faults=()
fault() {
  echo "FAULT: $*" >&2
  faults+=("$*")
}

# md5 of one value a row, "=value" or "-" for NULL, in key order.
mysql_hash() { echo "MD5(COALESCE(GROUP_CONCAT(IFNULL(CONCAT('=', $1), '-') ORDER BY $2 SEPARATOR '|'), ''))"; }
pg_hash() { echo "md5(coalesce(string_agg(coalesce('=' || $1, '-'), '|' ORDER BY $2), ''))"; }

my_quote() { echo "\`$1\`"; }
pg_quote() { echo "\"$1\""; }
key_list() {
  local quote=$1 column list=
  shift
  for column in $1; do list+="${list:+, }$($quote "$column")"; done
  echo "$list"
}

# The rule for a MySQL column type: "kind target-type".
mysql_to_pg_rule() {
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

# The rule for a PostgreSQL column's type (a domain's base type): "kind target-type".
pg_to_mysql_rule() {
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

# Each side's text of a value of the given kind.
mysql_source_text() {
  case $2 in
    int) echo "$1 + 0" ;;
    bool) echo "CASE WHEN $1 IS NULL THEN NULL WHEN $1 = 1 THEN 'true' ELSE 'false' END" ;;
    bits) echo "LOWER(LPAD(HEX($1), 2 * CEIL($3 / 8), '0'))" ;;
    # A zero date, or one with a zero month or day, has no PostgreSQL value.
    date) echo "IF(MONTH($1) = 0 OR DAYOFMONTH($1) = 0, NULL, $1)" ;;
    bytes) echo "LOWER(HEX($1))" ;;
    # GROUP_CONCAT cuts a DOUBLE's text to the length the type declares, shorter than
    # the longest texts; a CHAR of a given length is kept whole.
    double) echo "CAST($1 AS CHAR(64))" ;;
    *) echo "CONVERT($1 USING utf8mb4)" ;;
  esac
}
pg_target_text() {
  case $2 in
    bits | bytes) echo "encode($1, 'hex')" ;;
    *) echo "$1::text" ;;
  esac
}
pg_source_text() {
  case $2 in
    numeric) echo "trim_scale($1)::text" ;;
    date) echo "to_char($1, 'YYYY-MM-DD') || ' 00:00:00'" ;;
    ts) echo "to_char($1, 'YYYY-MM-DD HH24:MI:SS.US')" ;;
    tstz) echo "to_char($1 AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS.US')" ;;
    bytes) echo "encode($1, 'hex')" ;;
    # true or false; character(n) without its pad blanks.
    int | bool | char) echo "$1::text" ;;
    # The type's own output, as the client reads it (a cast to text may differ: an inet
    # gains its /32).
    *) echo "CASE WHEN $1 IS NOT NULL THEN format('%s', $1) END" ;;
  esac
}
mysql_target_text() {
  case $2 in
    # DECIMAL(65,30) writes thirty places; PostgreSQL writes those the value has.
    numeric) echo "TRIM(TRAILING '.' FROM TRIM(TRAILING '0' FROM $1))" ;;
    bytes) echo "LOWER(HEX($1))" ;;
    *) echo "CONVERT($1 USING utf8mb4)" ;;
  esac
}

# The significant digits of a number's text, without sign, point, exponent and outer zeros.
significant_digits() { echo "regexp_replace(regexp_replace(split_part($1, 'e', 1), '[-.]', '', 'g'), '^0+|0+\$', '', 'g')"; }

# Compares two lists of doubles in key order, given as a query on each server; "" when they
# agree, else the first rows that differ. PG_QUERY yields (n, v) with n the row's number.
compare_doubles() {
  local my_query=$1 pg_query=$2 data
  data=$(mktemp)
  my -e "$my_query" >"$data"
  {
    echo "CREATE TEMP TABLE other (n bigserial, v text);"
    echo "COPY other (v) FROM STDIN WITH (NULL 'NULL');"
    cat "$data"
    echo '\.'
    echo "SELECT format('row %s in key order: PostgreSQL %s, MySQL %s', n, coalesce(mine.v::text, 'NULL'), coalesce(other.v, 'NULL'))
          FROM ($pg_query) AS mine FULL JOIN other USING (n)
          WHERE (mine.v IS NULL) <> (other.v IS NULL) OR mine.v <> other.v::float8
          ORDER BY n LIMIT 5;"
  } | pg 2>&1
  rm -f "$data"
}

# The first rows where two value lists differ, for a report.
first_differences() {
  diff <(my -e "SELECT IFNULL(CONCAT('=', $1), '-') FROM $2 ORDER BY $3") \
    <(pg -c "COPY (SELECT coalesce('=' || $4, '-') FROM $5 ORDER BY $6) TO STDOUT") | head -8 || true
}

# Compares the PostgreSQL copy of a MySQL table with its source. KEYS: the columns that
# order the rows, separated by blanks.
compare_mysql_to_pg() {
  local table=$1 keys=$2 my_keys pg_keys name type kind target got_type
  local my_table pg_table my_list= pg_list= names=() kinds=() sizes=() my_hashes pg_hashes i
  my_table=$(my_quote "$table")
  pg_table=$(pg_quote "$table")
  my_keys=$(key_list my_quote "$keys")
  pg_keys=$(key_list pg_quote "$keys")
  local source_count copy_count
  source_count=$(my -e "SELECT COUNT(*) FROM $my_table")
  copy_count=$(pg -c "SELECT count(*) FROM $pg_table" 2>&1) || {
    fault "$table: no copy on PostgreSQL ($copy_count)"
    return
  }
  [ "$source_count" = "$copy_count" ] || fault "$table: $source_count rows on MySQL, $copy_count on PostgreSQL"

  local expected_columns= copy_columns
  while IFS=$'\t' read -r name type; do
    read -r kind target <<<"$(mysql_to_pg_rule "$type")"
    expected_columns+="$name $target"$'\n'
    names+=("$name")
    kinds+=("$kind")
    sizes+=("$(sed -n 's/^bit(\([0-9]*\))$/\1/p' <<<"$type")")
    [ "$kind" = float ] && continue
    my_list+="${my_list:+, }$(mysql_hash "$(mysql_source_text "$(my_quote "$name")" "$kind" "${sizes[-1]}")" "$my_keys")"
    pg_list+="${pg_list:+, }$(pg_hash "$(pg_target_text "$(pg_quote "$name")" "$kind")" "$pg_keys")"
  done < <(my -e "SELECT column_name, column_type FROM information_schema.columns
                  WHERE table_schema = DATABASE() AND table_name = '$table' ORDER BY ordinal_position")
  copy_columns=$(pg -c "SELECT column_name || ' ' || data_type FROM information_schema.columns
                        WHERE table_schema = 'public' AND table_name = '$table' ORDER BY ordinal_position")
  if [ "$copy_columns" != "${expected_columns%$'\n'}" ]; then
    fault "$table: the PostgreSQL columns are [$(tr '\n' ',' <<<"$copy_columns")], expected [$(tr '\n' ',' <<<"${expected_columns%$'\n'}")]"
    # The values are still compared by their source types: faults that follow may come from this one.
    [ "$(cut -d' ' -f1 <<<"$copy_columns")" = "$(printf '%s\n' "${names[@]}")" ] || return
  fi

  IFS=$'\t' read -r -a my_hashes <<<"$(my -e "SELECT $my_list FROM $my_table")"
  IFS='|' read -r -a pg_hashes <<<"$(pg -F '|' -c "SELECT $pg_list FROM $pg_table")"
  local h=0 name_my name_pg
  for i in "${!names[@]}"; do
    name=${names[$i]}
    name_my=$(my_quote "$name")
    name_pg=$(pg_quote "$name")
    if [ "${kinds[$i]}" = float ]; then
      # The copy holds the shortest text that reads back as the same float.
      local wrong
      wrong=$(compare_doubles "SELECT CAST($name_my AS DOUBLE) FROM $my_table ORDER BY $my_keys" \
        "SELECT row_number() OVER (ORDER BY $pg_keys) AS n, $name_pg::float4::float8 AS v FROM $pg_table")
      [ -z "$wrong" ] || fault "$table.$name: the floats differ: $wrong"
      wrong=$(pg -c "SELECT $name_pg FROM $pg_table
                     WHERE $(significant_digits "$name_pg") <> $(significant_digits "$name_pg::float4::text")
                     LIMIT 5" 2>&1 || true)
      [ -z "$wrong" ] || fault "$table.$name: not the float's shortest text: $(tr '\n' ' ' <<<"$wrong")"
      continue
    fi
    if [ "${my_hashes[$h]}" != "${pg_hashes[$h]}" ]; then
      fault "$table.$name: the values differ; first differences (< MySQL, > PostgreSQL):
$(first_differences "$(mysql_source_text "$name_my" "${kinds[$i]}" "${sizes[$i]}")" "$my_table" "$my_keys" \
        "$(pg_target_text "$name_pg" "${kinds[$i]}")" "$pg_table" "$pg_keys")"
    fi
    h=$((h + 1))
  done
}

# Compares the MySQL copy of a PostgreSQL table with its source.
compare_pg_to_mysql() {
  local table=$1 keys=$2 my_keys pg_keys name type kind target
  local my_table pg_table my_list= pg_list= names=() kinds=() my_hashes pg_hashes i
  my_table=$(my_quote "$table")
  pg_table=$(pg_quote "$table")
  my_keys=$(key_list my_quote "$keys")
  pg_keys=$(key_list pg_quote "$keys")
  local source_count copy_count
  source_count=$(pg -c "SELECT count(*) FROM $pg_table")
  copy_count=$(my -e "SELECT COUNT(*) FROM $my_table" 2>&1) || {
    fault "$table: no copy on MySQL ($copy_count)"
    return
  }
  [ "$source_count" = "$copy_count" ] || fault "$table: $source_count rows on PostgreSQL, $copy_count on MySQL"

  local expected_columns= copy_columns
  while IFS='|' read -r name type; do
    read -r kind target <<<"$(pg_to_mysql_rule "$type")"
    expected_columns+="$name $target"$'\n'
    names+=("$name")
    kinds+=("$kind")
    [ "$kind" = float ] || [ "$kind" = double ] && continue
    pg_list+="${pg_list:+, }$(pg_hash "$(pg_source_text "$(pg_quote "$name")" "$kind")" "$pg_keys")"
    my_list+="${my_list:+, }$(mysql_hash "$(mysql_target_text "$(my_quote "$name")" "$kind")" "$my_keys")"
  done < <(pg -F '|' -c "SELECT a.attname,
                                format_type(CASE t.typtype WHEN 'd' THEN t.typbasetype ELSE a.atttypid END,
                                            CASE t.typtype WHEN 'd' THEN t.typtypmod ELSE a.atttypmod END)
                         FROM pg_attribute a JOIN pg_type t ON t.oid = a.atttypid
                         WHERE a.attrelid = '$pg_table'::regclass AND a.attnum > 0 AND NOT a.attisdropped
                         ORDER BY a.attnum")
  copy_columns=$(my -e "SELECT CONCAT(column_name, ' ', IF(data_type = 'bigint', 'bigint', column_type))
                        FROM information_schema.columns
                        WHERE table_schema = DATABASE() AND table_name = '$table' ORDER BY ordinal_position")
  if [ "$copy_columns" != "${expected_columns%$'\n'}" ]; then
    fault "$table: the MySQL columns are [$(tr '\n' ',' <<<"$copy_columns")], expected [$(tr '\n' ',' <<<"${expected_columns%$'\n'}")]"
    # The values are still compared by their source types: faults that follow may come from this one.
    [ "$(cut -d' ' -f1 <<<"$copy_columns")" = "$(printf '%s\n' "${names[@]}")" ] || return
  fi

  IFS='|' read -r -a pg_hashes <<<"$(pg -F '|' -c "SELECT $pg_list FROM $pg_table")"
  IFS=$'\t' read -r -a my_hashes <<<"$(my -e "SELECT $my_list FROM $my_table")"
  local h=0 name_my name_pg
  for i in "${!names[@]}"; do
    name=${names[$i]}
    name_my=$(my_quote "$name")
    name_pg=$(pg_quote "$name")
    if [ "${kinds[$i]}" = float ] || [ "${kinds[$i]}" = double ]; then
      local as_double=$name_pg wrong
      [ "${kinds[$i]}" = float ] && as_double="$name_pg::float8"
      wrong=$(compare_doubles "SELECT CAST($name_my AS DOUBLE) FROM $my_table ORDER BY $my_keys" \
        "SELECT row_number() OVER (ORDER BY $pg_keys) AS n, $as_double AS v FROM $pg_table")
      [ -z "$wrong" ] || fault "$table.$name: the numbers differ: $wrong"
      continue
    fi
    if [ "${my_hashes[$h]}" != "${pg_hashes[$h]}" ]; then
      fault "$table.$name: the values differ; first differences (< MySQL, > PostgreSQL):
$(first_differences "$(mysql_target_text "$name_my" "${kinds[$i]}")" "$my_table" "$my_keys" \
        "$(pg_source_text "$name_pg" "${kinds[$i]}")" "$pg_table" "$pg_keys")"
    fi
    h=$((h + 1))
  done
}
