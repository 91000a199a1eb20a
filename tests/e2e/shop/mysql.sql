-- The shop: a web shop's MariaDB/MySQL database as it grows over the years. Foreign keys,
-- unsigned and zero-filled keys, ENUM, SET, YEAR, BIT, BOOLEAN, DECIMAL, FLOAT, DOUBLE,
-- TIMESTAMP with ON UPDATE, zero dates, a generated column, a latin1 table with accented
-- names, a utf8mb3 table, an empty table, images in a BLOB, GEOMETRY, comments and two views. Rows are generated from the Sequence engine (seq_1_to_N) with CRC32 as a
-- repeatable dice, then edge values are added by hand. Every table names its character
-- set: the database's default may be latin1, as older servers create them.
--
-- depot_stock is an older copy of the PostgreSQL depot's stock list, so that both sides
-- have one table name in common.

SET NAMES utf8mb4;
-- Zero dates are allowed, as on the servers this kind of data comes from.
SET SESSION sql_mode = 'STRICT_ALL_TABLES,ERROR_FOR_DIVISION_BY_ZERO,NO_ENGINE_SUBSTITUTION';
SET SESSION time_zone = '+00:00';

SET foreign_key_checks = 0;
DROP VIEW IF EXISTS shop_order_totals, shop_customer_overview;
DROP TABLE IF EXISTS shop_wishlists, shop_newsletter, shop_reviews, shop_payments, shop_order_items, shop_orders,
  shop_coupons, shop_product_images, shop_products, shop_categories, shop_customers, shop_stores,
  `shop_entrepôts`, shop_countries, depot_stock;
SET foreign_key_checks = 1;

CREATE TABLE shop_countries (
  id TINYINT UNSIGNED NOT NULL PRIMARY KEY,
  iso2 CHAR(2) NOT NULL,
  name VARCHAR(80) NOT NULL,
  vat_rate DECIMAL(5,2),
  currency CHAR(3),
  in_eu BIT(1) NOT NULL DEFAULT b'0'
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

INSERT INTO shop_countries VALUES
  (1, 'FR', 'France', 20.00, 'EUR', b'1'),
  (2, 'DE', 'Deutschland', 19.00, 'EUR', b'1'),
  (3, 'AT', 'Österreich', 20.00, 'EUR', b'1'),
  (4, 'CI', 'Côte d''Ivoire', 18.00, 'XOF', b'0'),
  (5, 'ST', 'São Tomé and Príncipe', 15.00, 'STN', b'0'),
  (6, 'JP', '日本', 10.00, 'JPY', b'0'),
  (7, 'GR', 'Ελλάδα', 24.00, 'EUR', b'1'),
  (8, 'RU', 'Россия', NULL, 'RUB', b'0'),
  (9, 'IS', 'Ísland', 24.00, 'ISK', b'0'),
  (10, 'GB', 'United Kingdom', 20.00, 'GBP', b'0'),
  (11, 'US', 'United States', 0.00, 'USD', b'0'),
  (12, 'TR', 'Türkiye', 20.00, 'TRY', b'0'),
  (13, 'DK', 'Danmark', 25.00, 'DKK', b'1'),
  (14, 'PL', 'Polska', 23.00, 'PLN', b'1'),
  (15, 'CZ', 'Česko', 21.00, 'CZK', b'1'),
  (16, 'AQ', 'Antarctica', NULL, NULL, b'0'),
  (255, 'ZZ', 'Unknown / not given', NULL, NULL, b'0');
-- Regions the shop ships to, made up.
INSERT INTO shop_countries
SELECT 16 + seq,
       CONCAT(CHAR(65 + CRC32(seq) % 26), CHAR(65 + CRC32(seq + 7) % 26)),
       CONCAT(ELT(1 + CRC32(seq) % 9, 'Nova', 'Alta', 'Baja', 'Île', 'Port', 'San', 'Santa', 'Ōmi', 'Nieder'), ' ',
              ELT(1 + CRC32(seq + 1) % 8, 'Marítima', 'Ørsted', 'Kraljevo', 'd''Arrée', 'Lindholm', 'Ẓahr', 'Vale', 'Ēsti'),
              ' ', seq),
       IF(seq % 11 = 0, NULL, (CRC32(seq) % 2700) / 100),
       ELT(1 + seq % 4, 'EUR', 'USD', 'CHF', NULL),
       seq % 3 = 0
FROM seq_1_to_230;

-- A legacy latin1 table from the shop's first years, names in French. MySQL's latin1 is
-- Windows-1252: it holds the euro sign and the oe ligature too.
CREATE TABLE `shop_entrepôts` (
  `numéro` SMALLINT UNSIGNED NOT NULL PRIMARY KEY,
  `désignation` VARCHAR(80) NOT NULL,
  ville VARCHAR(60),
  `capacité` INT,
  `surface_m²` DECIMAL(8,1),
  remarque TEXT,
  `ouvert_le` DATE
) ENGINE=InnoDB DEFAULT CHARSET=latin1 COLLATE=latin1_swedish_ci;

INSERT INTO `shop_entrepôts`
SELECT seq,
       CONCAT('Entrepôt ', ELT(1 + CRC32(seq) % 6, 'Nord', 'Sud', 'Est', 'Ouest', 'Centre', 'Général'), ' n°', seq),
       ELT(1 + CRC32(seq + 3) % 8, 'Besançon', 'Orléans', 'Saint-Étienne', 'Nîmes', 'Angoulême', 'Lyon', 'Mâcon', NULL),
       IF(seq % 13 = 0, NULL, 500 + CRC32(seq) % 20000),
       (CRC32(seq + 5) % 99999) / 10,
       ELT(1 + seq % 6, 'Accès par la rue de l''Église', 'Quai de déchargement « B »', NULL, '', 'Fermé le 15 août',
           'Loyer : 1 200 € / mois… cœur de ville'),
       ELT(1 + seq % 6, '1998-03-01', '2004-11-30', '0000-00-00', '2011-02-00', NULL, '2019-07-14')
FROM seq_1_to_200;

CREATE TABLE shop_stores (
  id TINYINT UNSIGNED NOT NULL PRIMARY KEY,
  name VARCHAR(100) NOT NULL,
  country_id TINYINT UNSIGNED NOT NULL,
  `entrepôt` SMALLINT UNSIGNED,
  location GEOMETRY NOT NULL,
  opens TIME,
  closes TIME,
  longest_wait TIME,
  break_length TIME(3),
  branch_code SMALLINT(4) UNSIGNED ZEROFILL,
  opened_on DATE,
  CONSTRAINT fk_store_country FOREIGN KEY (country_id) REFERENCES shop_countries (id),
  CONSTRAINT fk_store_depot FOREIGN KEY (`entrepôt`) REFERENCES `shop_entrepôts` (`numéro`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

INSERT INTO shop_stores
SELECT seq,
       CONCAT(ELT(1 + CRC32(seq) % 5, 'Papeterie', 'Quill & Co', 'L''Encrier', 'Schreibwaren', '文房具'), ' ', seq),
       1 + CRC32(seq) % 16,
       IF(seq % 7 = 0, NULL, 1 + CRC32(seq + 2) % 200),
       IF(seq % 10 = 0,
          ST_GeomFromText(CONCAT('POLYGON((0 0, ', seq, ' 0, ', seq, ' ', seq, ', 0 0))')),
          ST_GeomFromText(CONCAT('POINT(', (CRC32(seq) % 36000) / 100 - 180, ' ', (CRC32(seq + 9) % 18000) / 100 - 90, ')'), 4326)),
       MAKETIME(7 + seq % 3, 15 * (seq % 4), 0),
       MAKETIME(17 + seq % 6, 30 * (seq % 2), 0),
       ELT(1 + seq % 5, '00:05:00', '-00:00:01', '838:59:59', '-838:59:59', '12:34:56'),
       IF(seq % 6 = 0, NULL, MAKETIME(0, seq % 60, (CRC32(seq) % 60000) / 1000)),
       seq * 37 % 10000,
       ELT(1 + seq % 4, '1987-05-12', '2023-12-31', NULL, '0000-00-00')
FROM seq_1_to_120;

CREATE TABLE shop_categories (
  id SMALLINT UNSIGNED NOT NULL PRIMARY KEY,
  parent_id SMALLINT UNSIGNED,
  name VARCHAR(100) NOT NULL,
  slug VARCHAR(100) NOT NULL,
  description TEXT,
  position TINYINT NOT NULL DEFAULT 0,
  visible BIT(1) NOT NULL DEFAULT b'1',
  `group` VARCHAR(30),
  CONSTRAINT fk_category_parent FOREIGN KEY (parent_id) REFERENCES shop_categories (id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

INSERT INTO shop_categories VALUES
  (1, NULL, 'Writing', 'writing', 'Pens, pencils & quills', 0, b'1', 'main'),
  (2, NULL, 'Paper', 'paper', NULL, 1, b'1', 'main'),
  (3, NULL, 'Ink', 'ink', 'Bottled "ink" & cartridges', 2, b'1', 'main'),
  (4, NULL, 'Gifts 🎁', 'gifts', 'For the writer who has everything', -128, b'1', 'seasonal'),
  (5, NULL, 'Clearance', 'clearance', '', 127, b'0', NULL);
INSERT INTO shop_categories
SELECT 5 + seq, 1 + CRC32(seq) % 5,
       CONCAT(ELT(1 + CRC32(seq) % 8, 'Fountain pens', 'Nibs', 'Notebooks', 'Carnets', 'Füller', 'Sealing wax', 'Calligraphy', 'Washi'),
              ' – ', seq),
       CONCAT('cat-', seq),
       IF(seq % 4 = 0, NULL, CONCAT('Everything for ', ELT(1 + seq % 3, 'the desk', 'the traveller''s bag', 'l''atelier'))),
       CAST(CRC32(seq) % 256 AS SIGNED) - 128,
       seq % 9 <> 0,
       ELT(1 + seq % 4, 'main', 'seasonal', 'outlet', NULL)
FROM seq_1_to_295;

CREATE TABLE shop_customers (
  id MEDIUMINT UNSIGNED NOT NULL PRIMARY KEY,
  email VARCHAR(190) NOT NULL,
  first_name VARCHAR(60) NOT NULL,
  last_name VARCHAR(60),
  country_id TINYINT UNSIGNED,
  birth_date DATE,
  gender ENUM('f', 'm', 'x'),
  interests SET('books', 'pens', 'paper', 'ink', 'travel'),
  newsletter BIT(1) NOT NULL DEFAULT b'0',
  loyalty_points INT NOT NULL DEFAULT 0,
  balance DECIMAL(10,2),
  signup_year YEAR,
  created_at TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP,
  updated_at TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP ON UPDATE CURRENT_TIMESTAMP,
  notes TEXT,
  is_active BOOLEAN NOT NULL DEFAULT TRUE,
  last_login DATETIME,
  deleted_at TIMESTAMP NULL DEFAULT NULL,
  display_name VARCHAR(130) AS (CONCAT(first_name, ' ', COALESCE(last_name, ''))) VIRTUAL,
  UNIQUE KEY uq_customer_email (email),
  CONSTRAINT fk_customer_country FOREIGN KEY (country_id) REFERENCES shop_countries (id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

INSERT INTO shop_customers (id, email, first_name, last_name, country_id, birth_date, gender, interests,
                            newsletter, loyalty_points, balance, signup_year, created_at, updated_at, notes,
                            is_active, last_login, deleted_at)
SELECT n,
       CONCAT('customer', n, '@', ELT(1 + CRC32(n) % 4, 'example.com', 'exemple.fr', 'beispiel.de', 'пример.рф')),
       ELT(1 + CRC32(n) % 24, 'Ada', 'Seán', 'Zoë', 'François', 'Łukasz', 'Björk', 'Márta', 'José', 'Chloé', 'Søren',
           'Ümit', 'İlkay', 'Αλέξανδρος', 'Ольга', '美咲', 'Nguyễn', 'D''Arcy', 'Åsa', 'Renée', 'Émile', 'Ximena',
           'Grace', 'Mary-Jane', 'Ng'),
       ELT(1 + CRC32(n + 1) % 20, 'O''Brien', 'Müller', 'García Márquez', 'D''Angelo', 'Smith-Jones', 'Ñúñez',
           'van der Berg', 'Øvergård', 'Dvořák', 'Şahin', 'Kowalski', '李', 'Nakamura', 'El-Amin', 'Brontë',
           'MacAllister', NULL, 'L''Estrange', 'Ó Súilleabháin', '🦊 Fox'),
       IF(n % 17 = 0, NULL, 1 + CRC32(n) % 246),
       CASE
         WHEN n % 50 = 0 THEN '0000-00-00'
         WHEN n % 51 = 0 THEN '1984-00-12'
         WHEN n % 19 = 0 THEN NULL
         ELSE DATE('1940-01-01') + INTERVAL (CRC32(n) % 24000) DAY
       END,
       ELT(1 + CRC32(n + 2) % 4, 'f', 'm', 'x', NULL),
       ELT(1 + CRC32(n + 3) % 6, 'books', 'pens,ink', '', NULL, 'books,pens,paper,ink,travel', 'travel'),
       CRC32(n + 4) % 2,
       CAST(CRC32(n + 5) % 100000 AS SIGNED) - 20000,
       IF(n % 23 = 0, NULL, (CAST(CRC32(n + 6) % 2000000 AS SIGNED) - 500000) / 100),
       IF(n % 29 = 0, NULL, 1998 + CRC32(n) % 27),
       TIMESTAMP('2015-01-01 00:00:00') + INTERVAL (CRC32(n + 7) % 300000000) SECOND,
       TIMESTAMP('2024-01-01 00:00:00') + INTERVAL (CRC32(n + 8) % 30000000) SECOND,
       ELT(1 + CRC32(n + 9) % 8, NULL, '', 'Prefers parcels at the neighbour''s 📦',
           CONCAT('Line one', CHAR(10 USING utf8mb4), 'Line two', CHAR(9 USING utf8mb4), 'tabbed'), 'Paid by "cheque" 🎉',
           CONCAT('Path C:', CHAR(92 USING utf8mb4), 'orders', CHAR(92 USING utf8mb4)), 'VIP ❤️ 👨‍👩‍👧 🇫🇷', 'Allergique aux plumes d''oie'),
       n % 10 <> 0,
       CASE WHEN n % 31 = 0 THEN '0000-00-00 00:00:00' WHEN n % 5 = 0 THEN NULL
            ELSE TIMESTAMP('2023-01-01 00:00:00') + INTERVAL (CRC32(n + 10) % 60000000) SECOND END,
       CASE WHEN n % 97 = 0 THEN '0000-00-00 00:00:00' WHEN n % 10 = 0 THEN '2024-02-29 23:59:59' END
FROM (SELECT seq AS n FROM seq_1_to_1999) AS s;
-- Edge values: the largest MEDIUMINT UNSIGNED key, TIMESTAMP's first and last second.
INSERT INTO shop_customers (id, email, first_name, last_name, country_id, birth_date, gender, interests,
                            newsletter, loyalty_points, balance, signup_year, created_at, updated_at, notes,
                            is_active, last_login, deleted_at)
VALUES
  (16777215, 'last@example.com', 'Zed', 'Zzyzx', 255, '9999-12-31', 'x', 'books,pens,paper,ink,travel', b'1',
   2147483647, 99999999.99, 2155, '1970-01-01 00:00:01', '2038-01-19 03:14:07', REPEAT('z', 2000), 127,
   '9999-12-31 23:59:59', '2038-01-19 03:14:07'),
  (2000, 'first@example.com', 'Α', '', 1, '1000-01-01', 'f', '', b'0', -2147483648, -99999999.99, 1901,
   '2038-01-19 03:14:07', '1970-01-01 00:00:01', ' leading and trailing blanks ', -128, '1000-01-01 00:00:00',
   '1970-01-01 00:00:01');

CREATE TABLE shop_products (
  id SMALLINT UNSIGNED NOT NULL PRIMARY KEY,
  sku CHAR(12) NOT NULL COMMENT 'The supplier''s code, «SKU»',
  category_id SMALLINT UNSIGNED NOT NULL,
  name VARCHAR(150) NOT NULL,
  description MEDIUMTEXT,
  price DECIMAL(10,2) NOT NULL,
  cost DECIMAL(12,4),
  weight_kg FLOAT,
  rating DOUBLE,
  launched YEAR,
  status ENUM('draft', 'active', 'retired') NOT NULL DEFAULT 'draft',
  tags SET('new', 'sale', 'gift', 'eco', 'limited'),
  attributes JSON,
  barcode BIGINT UNSIGNED,
  flags BIT(12),
  stock MEDIUMINT,
  CONSTRAINT fk_product_category FOREIGN KEY (category_id) REFERENCES shop_categories (id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci COMMENT='Papeterie & encre: what the shop sells';

INSERT INTO shop_products
SELECT n,
       CONCAT(ELT(1 + CRC32(n) % 4, 'PEN', 'PAP', 'INK', 'GIF'), '-', LPAD(n, 5, '0')),
       1 + CRC32(n) % 300,
       CONCAT(ELT(1 + CRC32(n + 1) % 10, 'Fountain pen', 'Stylo plume', 'Füllfederhalter', 'Notebook A5', 'Cahier',
                  'Ink bottle', 'Encre « bleu nuit »', 'Wax seal', 'Quill, goose', 'Writer''s desk'),
              ' ', ELT(1 + CRC32(n + 2) % 6, 'Classic', 'Deluxe', 'Mini', 'Pro', '✒️', 'Édition limitée'), ' #', n),
       IF(n % 9 = 0, NULL, CONCAT('A ', ELT(1 + n % 4, 'sturdy', 'délicat', 'handmade 🖋️', 'vintage'), ' item.',
                                  IF(n % 5 = 0, CONCAT(CHAR(10 USING utf8mb4), '• Refillable', CHAR(10 USING utf8mb4), '• 2-year warranty'), ''))),
       (1 + CRC32(n + 3) % 50000) / 100,
       IF(n % 8 = 0, NULL, (CRC32(n + 4) % 10000000) / 10000),
       IF(n % 12 = 0, NULL, (1 + CRC32(n + 5) % 5000) / 1000),
       IF(n % 10 = 0, NULL, (CRC32(n + 6) % 5001) / 1000),
       IF(n % 15 = 0, NULL, 1995 + CRC32(n + 7) % 31),
       ELT(1 + CRC32(n + 8) % 3, 'draft', 'active', 'retired'),
       ELT(1 + CRC32(n + 9) % 5, 'new', 'sale,gift', '', NULL, 'eco,limited'),
       IF(n % 6 = 0, NULL, CONCAT('{"colour": "', ELT(1 + n % 4, 'röd', 'blue', 'vert d''eau', '黒'),
                                  '", "sizes": [', n % 3, ', ', n % 7, '], "refill": ', IF(n % 2, 'true', 'false'), '}')),
       IF(n % 7 = 0, NULL, 4000000000000 + CRC32(n) * 1000 + n % 1000),
       IF(n % 11 = 0, NULL, CRC32(n + 10) % 4096),
       CAST(CRC32(n + 11) % 20000 AS SIGNED) - 1000
FROM (SELECT seq AS n FROM seq_1_to_598) AS s;
-- Edge values: the largest SMALLINT UNSIGNED key and BIGINT UNSIGNED, FLOAT and DOUBLE
-- values whose shortest text is not the six digits MySQL shows.
INSERT INTO shop_products VALUES
  (65535, 'EDG-65535   ', 1, 'Heaviest parcel', NULL, 99999999.99, -0.0001, 3.4028234663852886e38,
   1.7976931348623157e308, 2155, 'active', 'new,sale,gift,eco,limited', '{}', 18446744073709551615, b'111111111111', 8388607),
  (599, 'EDG-599', 1, 'Lightest parcel', '', 0.01, 0, 16777216, -2.2250738585072014e-308, 0, 'retired', '', '[]',
   0, b'0', -8388608),
  (600, 'EDG-600', 2, 'Tenth of a gram', 'x', 0.10, 123.4567, 0.1, -0e0, 1901, 'draft', NULL, 'null', 1, b'100000000001', 0),
  (601, 'EDG-601', 2, 'A float past six digits', NULL, 1.00, NULL, 1.17549435e-38, 5e-324, NULL, 'draft', NULL, NULL,
   NULL, NULL, NULL),
  (602, 'EDG-602', 2, 'Catalogue text past 64 KiB', REPEAT('Ünïcödé catalogue text ✒️ ', 4000), 2.00, NULL, 123456.7,
   0.1, NULL, 'draft', NULL, NULL, NULL, NULL, NULL),
  (603, 'EDG-603', 2, 'Negative float', NULL, 3.00, NULL, -7.0000005, 1e22, NULL, 'draft', NULL, NULL, NULL, NULL, NULL);

-- Product photos: a 16x16 PNG (a red disc with a yellow square) and an 8x8 GIF gradient.
CREATE TABLE shop_product_images (
  id INT UNSIGNED NOT NULL PRIMARY KEY,
  product_id SMALLINT UNSIGNED NOT NULL,
  mime VARCHAR(30),
  image BLOB,
  caption VARCHAR(200),
  width SMALLINT UNSIGNED,
  height SMALLINT UNSIGNED,
  checksum BINARY(16),
  CONSTRAINT fk_image_product FOREIGN KEY (product_id) REFERENCES shop_products (id) ON DELETE CASCADE
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

SET @png = UNHEX(CONCAT(
  '89504e470d0a1a0a0000000d4948445200000010000000100803000000282d0f5300000009504c5445ffffff',
  'd04020ffe070244df4380000000174524e530040e6d866000000334944415418d363602016303232a27119',
  '9185181951451819d144800c2620800b30220930122780d5505cf6e27429a65f9000004597008a649186da',
  '0000000049454e44ae426082'));
SET @gif = UNHEX(CONCAT(
  '47494638396108000800f200003060c04b75c76789ce829ed59eb2dbb9c7e2d5dbe9f0f0f021f9040000000000',
  '2c000000000800080000031608ba1afe4ec82987bd96e8ad8bff9e218ee2619e6602003b'));
INSERT INTO shop_product_images
SELECT n, 1 + CRC32(n) % 598,
       ELT(1 + n % 4, 'image/png', 'image/gif', 'image/png', NULL),
       ELT(1 + n % 4, @png, @gif, CONCAT(@png, CHAR(0), 'trailer'), NULL),
       IF(n % 5 = 0, NULL, CONCAT('Photo ', n, ' – ', ELT(1 + n % 3, 'front', 'côté', 'detail 🔍'))),
       ELT(1 + n % 4, 16, 8, 16, NULL),
       ELT(1 + n % 4, 16, 8, 16, NULL),
       IF(n % 4 = 3, NULL, UNHEX(MD5(ELT(1 + n % 4, @png, @gif, CONCAT(@png, CHAR(0), 'trailer')))))
FROM (SELECT seq AS n FROM seq_1_to_300) AS s;

CREATE TABLE shop_coupons (
  id SMALLINT UNSIGNED NOT NULL PRIMARY KEY,
  code VARCHAR(20) NOT NULL,
  secret BINARY(8),
  percent_off TINYINT UNSIGNED NOT NULL,
  valid_from DATE NOT NULL,
  valid_until DATE,
  max_uses INT UNSIGNED,
  weekdays BIT(7) NOT NULL DEFAULT b'1111111',
  issued YEAR NOT NULL,
  stores_mask BIT(64)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_bin;

INSERT INTO shop_coupons
SELECT n,
       CONCAT(ELT(1 + CRC32(n) % 5, 'SUMMER', 'Noël', 'WELCOME', 'ÉTÉ', 'back2school'), '-', n),
       IF(n % 5 = 0, NULL, LEFT(UNHEX(MD5(n)), 1 + n % 8)),
       1 + CRC32(n) % 100,
       DATE('2018-01-01') + INTERVAL (CRC32(n + 1) % 2500) DAY,
       IF(n % 3 = 0, '0000-00-00', DATE('2025-01-01') + INTERVAL (CRC32(n + 2) % 800) DAY),
       IF(n % 4 = 0, NULL, CRC32(n + 3)),
       CRC32(n + 4) % 128,
       IF(n % 37 = 0, 0, 2018 + n % 8),
       CASE n % 5 WHEN 0 THEN NULL WHEN 1 THEN 18446744073709551615 WHEN 2 THEN 0 ELSE CRC32(n) * CRC32(n + 5) END
FROM (SELECT seq AS n FROM seq_1_to_400) AS s;

CREATE TABLE shop_orders (
  id INT UNSIGNED NOT NULL PRIMARY KEY,
  customer_id MEDIUMINT UNSIGNED NOT NULL,
  store_id TINYINT UNSIGNED,
  coupon_id SMALLINT UNSIGNED,
  placed_at DATETIME(3) NOT NULL,
  status ENUM('new', 'paid', 'shipped', 'delivered', 'cancelled', 'refunded') NOT NULL DEFAULT 'new',
  shipped_on DATE,
  total DECIMAL(12,2) NOT NULL DEFAULT 0.00,
  shipping DECIMAL(8,2),
  currency CHAR(3) NOT NULL DEFAULT 'EUR',
  shipping_weight FLOAT(7,3),
  exchange_rate DOUBLE(10,4),
  note TEXT,
  updated_at TIMESTAMP(6) NOT NULL DEFAULT CURRENT_TIMESTAMP(6) ON UPDATE CURRENT_TIMESTAMP(6),
  CONSTRAINT fk_order_customer FOREIGN KEY (customer_id) REFERENCES shop_customers (id),
  CONSTRAINT fk_order_store FOREIGN KEY (store_id) REFERENCES shop_stores (id),
  CONSTRAINT fk_order_coupon FOREIGN KEY (coupon_id) REFERENCES shop_coupons (id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

INSERT INTO shop_orders
SELECT n,
       1 + CRC32(n) % 1999,
       IF(n % 3 = 0, NULL, 1 + CRC32(n + 1) % 120),
       IF(n % 5 = 0, 1 + CRC32(n + 2) % 400, NULL),
       TIMESTAMP('2016-03-01 08:00:00') + INTERVAL (CRC32(n + 3) % 280000000) SECOND + INTERVAL ((n % 1000) * 1000) MICROSECOND,
       ELT(1 + CRC32(n + 4) % 6, 'new', 'paid', 'shipped', 'delivered', 'cancelled', 'refunded'),
       CASE WHEN n % 41 = 0 THEN '0000-00-00' WHEN n % 4 = 0 THEN NULL
            ELSE DATE('2016-03-02') + INTERVAL (CRC32(n + 3) % 3200) DAY END,
       0.00,
       IF(n % 6 = 0, NULL, (CRC32(n + 5) % 3000) / 100),
       ELT(1 + n % 3, 'EUR', 'USD', 'GBP'),
       IF(n % 9 = 0, NULL, (CRC32(n + 8) % 2000000) / 1000),
       IF(n % 3 = 0, 1, (5000 + CRC32(n + 9) % 15000) / 10000),
       ELT(1 + CRC32(n + 6) % 7, NULL, NULL, 'Leave at the door', 'Bitte nicht knicken!', 'C''est un cadeau 🎁',
           CONCAT('Gift note:', CHAR(10 USING utf8mb4), '"Happy birthday!"'), 'Fragile ⚠️'),
       TIMESTAMP('2020-01-01 00:00:00') + INTERVAL (CRC32(n + 7) % 500000000) SECOND + INTERVAL n MICROSECOND
FROM (SELECT seq AS n FROM seq_1_to_3000) AS s;
INSERT INTO shop_orders VALUES
  (4294967295, 16777215, NULL, NULL, '9999-12-31 23:59:59.999', 'delivered', '9999-12-31', 9999999999.99, 0.00,
   'EUR', 9999.999, 999999.9999, NULL, '2038-01-19 03:14:07.999999'),
  (3001, 2000, 1, 1, '1000-01-01 00:00:00.000', 'new', '1000-01-01', -0.01, NULL, 'USD', -9999.999, -0.0001, '',
   '1970-01-01 00:00:01.000000');

CREATE TABLE shop_order_items (
  order_id INT UNSIGNED NOT NULL,
  line_no TINYINT UNSIGNED NOT NULL,
  product_id SMALLINT UNSIGNED NOT NULL,
  quantity SMALLINT UNSIGNED NOT NULL DEFAULT 1,
  unit_price DECIMAL(10,2) NOT NULL,
  discount FLOAT,
  gift_wrap BIT(1),
  PRIMARY KEY (order_id, line_no),
  CONSTRAINT fk_item_order FOREIGN KEY (order_id) REFERENCES shop_orders (id) ON DELETE CASCADE,
  CONSTRAINT fk_item_product FOREIGN KEY (product_id) REFERENCES shop_products (id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

INSERT INTO shop_order_items
SELECT o.seq, l.seq,
       1 + CRC32(o.seq * 10 + l.seq) % 598,
       1 + CRC32(o.seq * 10 + l.seq + 1) % 12,
       (1 + CRC32(o.seq * 10 + l.seq + 2) % 20000) / 100,
       ELT(1 + CRC32(o.seq * 10 + l.seq + 3) % 6, NULL, 0, 0.05, 0.1, 0.125, 0.333333),
       IF(l.seq = 3, NULL, CRC32(o.seq + l.seq) % 2)
FROM seq_1_to_3000 AS o JOIN seq_1_to_3 AS l ON l.seq <= 1 + o.seq % 3;
INSERT INTO shop_order_items VALUES
  (4294967295, 255, 65535, 65535, 99999999.99, 3.4028234663852886e38, b'1'),
  (3001, 0, 599, 0, 0.00, -1.17549435e-38, b'0');

-- The totals that the shop's reports used to compute by hand.
UPDATE shop_orders o
JOIN (SELECT order_id, SUM(quantity * unit_price) AS gross FROM shop_order_items GROUP BY order_id) AS t
  ON t.order_id = o.id
SET o.total = LEAST(t.gross, 9999999999.99), o.updated_at = o.updated_at
WHERE o.id <= 3000;

CREATE TABLE shop_payments (
  id BIGINT NOT NULL PRIMARY KEY,
  order_id INT UNSIGNED NOT NULL,
  method ENUM('card', 'paypal', 'transfer', 'cash', 'gift card') NOT NULL,
  amount DECIMAL(12,2) NOT NULL,
  paid_at DATETIME(6),
  reference VARBINARY(16),
  card_last4 CHAR(4),
  approved BIT(1) NOT NULL,
  fee DOUBLE,
  CONSTRAINT fk_payment_order FOREIGN KEY (order_id) REFERENCES shop_orders (id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

INSERT INTO shop_payments
SELECT n * 1000003,
       1 + CRC32(n) % 3000,
       ELT(1 + CRC32(n + 1) % 5, 'card', 'paypal', 'transfer', 'cash', 'gift card'),
       (CAST(CRC32(n + 2) % 100000 AS SIGNED) - 5000) / 100,
       IF(n % 13 = 0, NULL, TIMESTAMP('2016-03-01') + INTERVAL (CRC32(n + 3) % 280000000) SECOND
                            + INTERVAL (CRC32(n + 4) % 1000000) MICROSECOND),
       CASE n % 9 WHEN 0 THEN NULL WHEN 1 THEN UNHEX('00275c0a0d22ff00') WHEN 2 THEN ''
            ELSE UNHEX(MD5(CONCAT('payment ', n))) END,
       IF(n % 4 = 0, NULL, LPAD(CRC32(n + 5) % 10000, 4, '0')),
       n % 10 <> 0,
       CASE n % 7 WHEN 0 THEN NULL WHEN 1 THEN 0.35 + n / 1000 WHEN 2 THEN 1 / 3 WHEN 3 THEN 2.5e-7 ELSE n * 0.01 END
FROM (SELECT seq AS n FROM seq_1_to_2500) AS s;
INSERT INTO shop_payments VALUES
  (-9223372036854775808, 3001, 'cash', -0.01, '1000-01-01 00:00:00.000000', UNHEX('00'), '0000', b'0', -1e-300),
  (9223372036854775807, 4294967295, 'card', 9999999999.99, '9999-12-31 23:59:59.999999', UNHEX(REPEAT('ff', 16)),
   '9999', b'1', 1.7976931348623157e308);

CREATE TABLE shop_reviews (
  id INT UNSIGNED NOT NULL PRIMARY KEY,
  product_id SMALLINT UNSIGNED NOT NULL,
  customer_id MEDIUMINT UNSIGNED,
  stars TINYINT UNSIGNED NOT NULL,
  title VARCHAR(120),
  body TEXT,
  language CHAR(5),
  created DATETIME NOT NULL,
  helpful_votes MEDIUMINT UNSIGNED NOT NULL DEFAULT 0,
  CONSTRAINT fk_review_product FOREIGN KEY (product_id) REFERENCES shop_products (id),
  CONSTRAINT fk_review_customer FOREIGN KEY (customer_id) REFERENCES shop_customers (id) ON DELETE SET NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

INSERT INTO shop_reviews
SELECT n,
       1 + CRC32(n) % 598,
       IF(n % 20 = 0, NULL, 1 + CRC32(n + 1) % 1999),
       1 + CRC32(n + 2) % 5,
       ELT(1 + CRC32(n + 3) % 8, 'Great pen!', 'Très bien', 'Nicht schlecht', 'Meh.', '最高です', NULL,
           'Don''t buy', '⭐⭐⭐⭐⭐'),
       ELT(1 + CRC32(n + 4) % 9, NULL, '', 'Writes smoothly, the nib is a little scratchy at first.',
           'L''encre sèche vite ; parfait pour les gauchers.',
           CONCAT('Pros:', CHAR(10 USING utf8mb4), '- colour', CHAR(10 USING utf8mb4), 'Cons:', CHAR(10 USING utf8mb4), '- price 💸'),
           'Arrived broken 😢 but the shop''s "replacement" came in two days 👍🏽',
           'Ñandú-leather cover, 100% recommended',
           CONCAT('Backslash ', CHAR(92 USING utf8mb4), ' and percent % and underscore _ survive'),
           REPEAT('Long review. ', 200)),
       ELT(1 + n % 6, 'en', 'fr-FR', 'de', 'ja', 'es-AR', NULL),
       TIMESTAMP('2016-05-01 00:00:00') + INTERVAL (CRC32(n + 5) % 250000000) SECOND,
       CRC32(n + 6) % 500
FROM (SELECT seq AS n FROM seq_1_to_1500) AS s;
UPDATE shop_reviews SET helpful_votes = 16777215 WHERE id = 1;

-- Newsletter sign-ups, kept in the three-byte utf8 of older servers.
CREATE TABLE shop_newsletter (
  id INT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY,
  email VARCHAR(190) NOT NULL,
  name VARCHAR(100),
  subscribed_on DATE NOT NULL,
  confirmed TINYINT(1) NOT NULL DEFAULT 0,
  `unsubscribe-token` CHAR(32),
  source ENUM('checkout', 'footer', 'import', 'salon du livre') DEFAULT 'footer'
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci;

INSERT INTO shop_newsletter (email, name, subscribed_on, confirmed, `unsubscribe-token`, source)
SELECT CONCAT('reader', n, '@', ELT(1 + CRC32(n) % 3, 'example.org', 'exemple.fr', 'example.net')),
       ELT(1 + CRC32(n + 1) % 7, 'Brontë fan', 'Jürgen', NULL, 'Ана', 'D''Artagnan', '', 'Nguyễn Văn A'),
       DATE('2012-06-01') + INTERVAL (CRC32(n + 2) % 4500) DAY,
       CRC32(n + 3) % 2,
       IF(n % 8 = 0, NULL, MD5(CONCAT('token', n))),
       ELT(1 + CRC32(n + 4) % 5, 'checkout', 'footer', 'import', 'salon du livre', NULL)
FROM (SELECT seq AS n FROM seq_1_to_800) AS s;

-- Wish lists: a feature that nobody has used yet.
CREATE TABLE shop_wishlists (
  id INT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY,
  customer_id MEDIUMINT UNSIGNED NOT NULL,
  product_id SMALLINT UNSIGNED NOT NULL,
  added DATETIME NOT NULL DEFAULT CURRENT_TIMESTAMP,
  note TINYTEXT,
  CONSTRAINT fk_wish_customer FOREIGN KEY (customer_id) REFERENCES shop_customers (id),
  CONSTRAINT fk_wish_product FOREIGN KEY (product_id) REFERENCES shop_products (id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

CREATE TABLE depot_stock (
  item_id INT NOT NULL PRIMARY KEY,
  qty INT
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
INSERT INTO depot_stock VALUES (1, 3), (2, 0), (3, NULL);

CREATE VIEW shop_order_totals AS
SELECT o.id AS order_id, c.email, o.status, COUNT(i.line_no) AS line_count,
       SUM(i.quantity * i.unit_price) AS gross, MAX(i.discount) AS best_discount, o.placed_at
FROM shop_orders o
JOIN shop_customers c ON c.id = o.customer_id
LEFT JOIN shop_order_items i ON i.order_id = o.id
GROUP BY o.id, c.email, o.status, o.placed_at;

CREATE VIEW shop_customer_overview AS
SELECT c.id, CONCAT(c.first_name, ' ', COALESCE(c.last_name, '')) AS full_name, co.name AS country,
       c.balance, c.birth_date, c.newsletter, c.signup_year
FROM shop_customers c
LEFT JOIN shop_countries co ON co.id = c.country_id;
