-- The depot: the shop's warehouse database on PostgreSQL. An enum type, domains, arrays,
-- full-text vectors, ranges, character(n), bytea, money, uuid, intervals, json, network
-- and geometric types, xml, bit strings, an identity and a generated column, a table named
-- with capitals and a blank, comments, and a table partitioned by year. Rows come from generate_series with md5 as a
-- repeatable dice; edge values are added by hand. The depot tables are named so that they
-- sort together and before the server's own pg_* tables.
--
-- shop_customers is a stale copy of the shop's customer list from an earlier migration, so
-- that both sides have one table name in common.

SET client_min_messages = warning;
SET TimeZone = 'UTC';

DROP TABLE IF EXISTS "Depot Notes", depot_slots, depot_movements, depot_stock, depot_items, shop_customers CASCADE;
DROP DOMAIN IF EXISTS depot_sku, depot_price;
DROP TYPE IF EXISTS depot_condition;

-- A number from 0 to 2^28 - 1 that depends only on the row and the salt.
CREATE FUNCTION pg_temp.dice(n bigint, salt int) RETURNS integer
  LANGUAGE sql IMMUTABLE
  AS $$ SELECT ('x' || substr(md5(n::text || '/' || salt::text), 1, 7))::bit(28)::integer $$;

CREATE TYPE depot_condition AS ENUM ('new', 'opened', 'refurbished', 'damaged', 'written off');
CREATE DOMAIN depot_sku AS character varying(16) CHECK (VALUE ~ '^[A-Z]{3}-[0-9]{4,}$');
CREATE DOMAIN depot_price AS numeric(10,2) CHECK (VALUE >= 0);

CREATE TABLE depot_items (
  id integer PRIMARY KEY,
  sku depot_sku NOT NULL,
  title text NOT NULL,
  condition depot_condition NOT NULL DEFAULT 'new',
  tags text[],
  search tsvector,
  bin character(6),
  photo bytea,
  fragile boolean,
  unit_price depot_price,
  weight_g numeric(9,3),
  volume_l real,
  density double precision,
  on_shelf smallint,
  barcode bigint,
  stock_value numeric GENERATED ALWAYS AS (unit_price * on_shelf) STORED,
  added timestamp(3),
  note character varying(200)
);

COMMENT ON TABLE depot_items IS 'Everything the depot holds, «stock»';
COMMENT ON COLUMN depot_items.sku IS 'The depot''s article number';

INSERT INTO depot_items (id, sku, title, condition, tags, search, bin, photo, fragile, unit_price, weight_g,
                         volume_l, density, on_shelf, barcode, added, note)
SELECT n,
       (ARRAY['PEN', 'PAP', 'INK', 'GIF'])[1 + pg_temp.dice(n, 1) % 4] || '-' || lpad(n::text, 5, '0'),
       title,
       (enum_range(NULL::depot_condition))[1 + pg_temp.dice(n, 2) % 5],
       CASE pg_temp.dice(n, 3) % 7
         WHEN 0 THEN NULL
         WHEN 1 THEN '{}'
         WHEN 2 THEN ARRAY['fragile', 'bulky']
         WHEN 3 THEN ARRAY['with space', 'quote"d', 'comma,ed', 'back\slash', 'NULL', '']
         WHEN 4 THEN ARRAY[NULL, 'café', '📦']
         WHEN 5 THEN '{{a,b},{c,d}}'
         ELSE ARRAY['l''entrepôt']
       END,
       CASE WHEN n % 10 = 0 THEN NULL ELSE to_tsvector('simple', title || ' ' || coalesce(note, '')) END,
       CASE pg_temp.dice(n, 4) % 5
         WHEN 0 THEN NULL
         WHEN 1 THEN 'A-' || (n % 100)::text
         WHEN 2 THEN ' X'
         WHEN 3 THEN 'ÉTG-' || (n % 10)::text
         ELSE 'B12'
       END,
       CASE n % 5
         WHEN 0 THEN NULL
         WHEN 1 THEN decode('89504e470d0a1a0a0000000d4948445200000010000000100803000000282d0f5300000009504c5445ffffff'
                            'd04020ffe070244df4380000000174524e530040e6d866000000334944415418d363602016303232a27119'
                            '9185181951451819d144800c2620800b30220930122780d5505cf6e27429a65f9000004597008a649186da'
                            '0000000049454e44ae426082', 'hex')
         WHEN 2 THEN '\x'::bytea
         WHEN 3 THEN '\x00275c0a0dff'::bytea
         ELSE decode(md5(n::text), 'hex')
       END,
       CASE pg_temp.dice(n, 5) % 3 WHEN 0 THEN true WHEN 1 THEN false END,
       CASE WHEN n % 17 = 0 THEN NULL ELSE (pg_temp.dice(n, 6) % 5000000) / 100.0 END,
       CASE WHEN n % 13 = 0 THEN NULL ELSE (pg_temp.dice(n, 7) % 999999999) / 1000.0 END,
       CASE WHEN n % 11 = 0 THEN NULL ELSE (pg_temp.dice(n, 8) % 100000) / 1000.0 END::real,
       CASE WHEN n % 9 = 0 THEN NULL ELSE pg_temp.dice(n, 9)::double precision / 7 END,
       (pg_temp.dice(n, 10) % 2000)::int - 200,
       CASE WHEN n % 8 = 0 THEN NULL ELSE 4000000000000 + pg_temp.dice(n, 11) END,
       timestamp '2019-01-01' + pg_temp.dice(n, 12) * interval '0.513 second',
       note
FROM (
  SELECT n,
         (ARRAY['Fountain pen', 'Stylo plume', 'Füllfederhalter', 'Notebook A5', 'Cahier', 'Ink bottle',
                'Encre « bleu nuit »', 'Wax seal', 'Quill, goose', 'Writer''s desk'])[1 + pg_temp.dice(n, 13) % 10]
           || ' ' || (ARRAY['Classic', 'Deluxe', 'Mini', 'Pro', '✒️', 'Édition limitée'])[1 + pg_temp.dice(n, 14) % 6]
           || ' #' || n AS title,
         (ARRAY[NULL, '', 'Shelf at the back, mind the step', 'Étagère du haut',
                E'Two lines:\nsecond', 'Keep dry 💧', 'O''Hara''s returns', E'tab\there'])[1 + pg_temp.dice(n, 15) % 8]
           AS note
  FROM generate_series(1, 1496) AS n
) AS generated;

-- Edge values: the extremes of each number type, a real past six digits, an empty title.
INSERT INTO depot_items (id, sku, title, condition, tags, search, bin, photo, fragile, unit_price, weight_g,
                         volume_l, density, on_shelf, barcode, added, note)
VALUES
  (2147483647, 'EDG-99999', 'Largest', 'written off', '{"{braces}"}', 'a:1A b:2', 'ZZZZZZ', '\xffff', true,
   99999999.99, 999999.999, 3.4028235e38, 1.7976931348623157e308, 32767, 9223372036854775807,
   '9999-12-31 23:59:59.999', repeat('x', 200)),
  (-2147483648, 'EDG-00000', '', 'new', '{}', '', '', '\x', false, 0, -999999.999, -1.1754944e-38,
   -2.2250738585072014e-308, -32767, -9223372036854775808, '1000-01-01 00:00:00', ''),
  (0, 'EDG-0000', 'Zero', 'opened', NULL, NULL, NULL, NULL, NULL, 0.01, 0.001, 16777217, 5e-324, -32768, 0,
   NULL, NULL),
  (1497, 'EDG-1497', 'Tenth', 'damaged', NULL, NULL, '  ', NULL, NULL, 0.10, 0.100, 0.1, 0.1, 0, 1,
   '2024-02-29 12:00:00.5', NULL);

CREATE TABLE depot_stock (
  item_id integer PRIMARY KEY REFERENCES depot_items (id),
  on_hand integer NOT NULL,
  reserved integer NOT NULL DEFAULT 0,
  counted_on date,
  counted_by character varying(40),
  last_value numeric(12,2)
);

INSERT INTO depot_stock
SELECT id,
       (pg_temp.dice(id, 20) % 500)::int,
       (pg_temp.dice(id, 21) % 20)::int,
       CASE WHEN id % 7 = 0 THEN NULL ELSE date '2020-01-01' + (pg_temp.dice(id, 22) % 1800)::int END,
       (ARRAY['Zoë', 'Łukasz', 'O''Connor', NULL, '美咲', 'Jean-Éric'])[1 + pg_temp.dice(id, 23) % 6],
       stock_value
FROM depot_items
WHERE id BETWEEN 1 AND 1400;
INSERT INTO depot_stock VALUES
  (2147483647, 2147483647, -2147483648, '9999-12-31', 'last', 9999999999.99),
  (-2147483648, 0, 0, '1000-01-01', '', -9999999999.99);

CREATE TABLE depot_slots (
  id integer PRIMARY KEY,
  item_id integer NOT NULL REFERENCES depot_items (id),
  during tsrange,
  booked_at timestamp with time zone,
  pickup time,
  fee money,
  ticket uuid,
  wait interval,
  day date,
  confirmed boolean NOT NULL
);

INSERT INTO depot_slots
SELECT n,
       1 + pg_temp.dice(n, 30) % 1496,
       CASE n % 9
         WHEN 0 THEN NULL
         WHEN 1 THEN 'empty'
         WHEN 2 THEN '(,2024-03-01 00:00:00)'
         WHEN 3 THEN '[2024-06-01 08:00:00,)'
         ELSE tsrange(timestamp '2023-01-02 08:00' + (pg_temp.dice(n, 31) % 20000) * interval '30 minutes',
                      timestamp '2023-01-02 08:00' + (pg_temp.dice(n, 31) % 20000 + 1 + n % 5) * interval '30 minutes',
                      (ARRAY['[)', '[]', '()'])[1 + n % 3])
       END,
       CASE WHEN n % 12 = 0 THEN NULL
            ELSE (timestamp '2023-03-26 00:30:00' + (pg_temp.dice(n, 32) % 40000000) * interval '1 second'
                  + (n % 1000000) * interval '1 microsecond')
                 AT TIME ZONE (ARRAY['Europe/Paris', 'America/St_Johns', 'Asia/Kathmandu', 'UTC'])[1 + n % 4]
       END,
       CASE n % 10 WHEN 0 THEN NULL WHEN 1 THEN '24:00:00' WHEN 2 THEN '00:00:00.000001'
            ELSE time '07:00' + (pg_temp.dice(n, 33) % 600) * interval '1 minute' END,
       CASE WHEN n % 8 = 0 THEN NULL ELSE ((pg_temp.dice(n, 34) % 2000000)::numeric / 100 - 5000)::money END,
       CASE WHEN n % 6 = 0 THEN NULL ELSE md5('slot' || n)::uuid END,
       CASE n % 5 WHEN 0 THEN NULL WHEN 1 THEN interval '1 day 02:03:04.5' WHEN 2 THEN interval '-3 hours'
            ELSE (pg_temp.dice(n, 35) % 100000) * interval '1 second' END,
       CASE n % 11 WHEN 0 THEN NULL WHEN 1 THEN date '9999-12-31' WHEN 2 THEN date '1000-01-01'
            ELSE date '2023-01-01' + (pg_temp.dice(n, 36) % 900)::int END,
       n % 4 <> 0
FROM generate_series(1, 900) AS n;

-- Stock movements, one partition per year.
CREATE TABLE depot_movements (
  id bigint NOT NULL,
  moved_on date NOT NULL,
  item_id integer NOT NULL REFERENCES depot_items (id),
  quantity integer NOT NULL,
  reason text,
  moved_at timestamp(6) without time zone,
  PRIMARY KEY (id, moved_on)
) PARTITION BY RANGE (moved_on);
CREATE TABLE depot_movements_2023 PARTITION OF depot_movements FOR VALUES FROM ('2023-01-01') TO ('2024-01-01');
CREATE TABLE depot_movements_2024 PARTITION OF depot_movements FOR VALUES FROM ('2024-01-01') TO ('2025-01-01');

INSERT INTO depot_movements
SELECT n,
       day,
       1 + pg_temp.dice(n, 40) % 1496,
       (pg_temp.dice(n, 41) % 200)::int - 100,
       (ARRAY['delivery', 'return', 'inventaire', 'damaged in transit 💥', NULL, 'O''Reilly order'])[1 + n % 6],
       CASE WHEN n % 15 = 0 THEN NULL
            ELSE day + pg_temp.dice(n, 42) * interval '321 microseconds' END
FROM (SELECT n, date '2023-01-01' + (pg_temp.dice(n, 43) % 731)::int AS day
      FROM generate_series(1, 2000) AS n) AS generated;

CREATE TABLE shop_customers (
  id numeric,
  email text
);
INSERT INTO shop_customers VALUES (1, 'old@example.com'), (2, 'older@example.com'), (3, NULL);

-- Notes kept by the depot's staff through a desktop tool, which names things as people
-- write them, and takes whatever type fits.
CREATE TABLE "Depot Notes" (
  id integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  "NoteText" text,
  "order" integer,
  "user" name,
  payload json,
  meta jsonb,
  client inet,
  network cidr,
  mac macaddr,
  spot point,
  quantities int4range,
  days daterange,
  mask bit(8),
  flags bit varying(16),
  doc xml,
  grade "char",
  at_time time with time zone,
  sizes smallint[],
  waits interval[],
  written timestamp(0) with time zone
);

INSERT INTO "Depot Notes" ("NoteText", "order", "user", payload, meta, client, network, mac, spot, quantities, days,
                           mask, flags, doc, grade, at_time, sizes, waits, written)
SELECT (ARRAY['Counted twice', E'Line one\nLine two', 'Café au lait spilled on shelf B ☕', NULL, '',
              'Ask O''Neill', 'Δ = 3 boxes'])[1 + n % 7],
       CASE WHEN n % 9 = 0 THEN NULL ELSE n * 10 END,
       (ARRAY['zoë', 'jean-éric', 'admin', 'Łukasz'])[1 + n % 4],
       CASE WHEN n % 5 = 0 THEN NULL ELSE json_build_object('shelf', n % 40, 'note', 'l''étagère', 'ok', n % 2 = 0) END,
       CASE WHEN n % 6 = 0 THEN NULL ELSE jsonb_build_object('tags', ARRAY['a', 'b'], 'n', n, 'x', 1.50) END,
       CASE WHEN n % 4 = 0 THEN '::1'::inet ELSE ('10.' || n % 256 || '.' || n % 7 || '.' || n % 200)::inet END,
       CASE WHEN n % 3 = 0 THEN '2001:db8::/32'::cidr ELSE ('192.168.' || n % 256 || '.0/24')::cidr END,
       ('08:00:2b:01:02:' || lpad(to_hex(n % 256), 2, '0'))::macaddr,
       point(n / 7.0, -n / 3.0),
       CASE n % 4 WHEN 0 THEN 'empty' WHEN 1 THEN int4range(n, n + 10) WHEN 2 THEN int4range(NULL, n) ELSE NULL END,
       daterange(date '2024-01-01' + n, date '2024-01-01' + n + n % 30, '[]'),
       (n % 256)::bit(8),
       CASE WHEN n % 2 = 0 THEN B'1' ELSE (n % 65536)::bit(16)::varbit END,
       CASE WHEN n % 8 = 0 THEN NULL ELSE xmlelement(name note, xmlattributes(n AS id), 'Boîte n°' || n) END,
       (ARRAY['A', 'B', 'C', 'é'])[1 + n % 4]::"char",
       (time '06:00' + n * interval '1 minute')::timetz,
       ARRAY[n % 5, -32768, 32767]::smallint[],
       ARRAY[n * interval '1 minute', interval '-1 day']::interval[],
       timestamp with time zone '2024-03-10 01:59:59-05' + n * interval '17 minutes'
FROM generate_series(1, 300) AS n;
