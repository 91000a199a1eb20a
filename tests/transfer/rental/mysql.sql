-- A film rental shop's MariaDB/MySQL database, with its order book kept beside it: the
-- shapes such sample databases have. AUTO_INCREMENT keys of every integer width, composite
-- keys, keys on text, unique keys, indexes on foreign keys and on several columns, a prefix
-- index on a LONGTEXT, full-text and spatial indexes (not carried), constant and current-time
-- defaults, NOT NULL almost everywhere, a row whose AUTO_INCREMENT key is 0, foreign keys
-- with their rules (added after the rows, as a dump does) and comments. The test runs one
-- statement at a time: each ends with a semicolon at the end of its line.

CREATE TABLE language (
  language_id TINYINT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY,
  name CHAR(20) NOT NULL,
  last_update TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP ON UPDATE CURRENT_TIMESTAMP
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE country (
  country_id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY,
  country VARCHAR(50) NOT NULL,
  last_update TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP ON UPDATE CURRENT_TIMESTAMP
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE city (
  city_id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY,
  city VARCHAR(50) NOT NULL,
  country_id SMALLINT UNSIGNED NOT NULL,
  last_update TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP ON UPDATE CURRENT_TIMESTAMP,
  KEY idx_fk_country_id (country_id),
  CONSTRAINT fk_city_country FOREIGN KEY (country_id) REFERENCES country (country_id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE address (
  address_id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY,
  address VARCHAR(50) NOT NULL,
  address2 VARCHAR(50) DEFAULT NULL,
  district VARCHAR(20) NOT NULL,
  city_id SMALLINT UNSIGNED NOT NULL,
  postal_code VARCHAR(10) DEFAULT NULL,
  phone VARCHAR(20) NOT NULL,
  location GEOMETRY NOT NULL,
  last_update TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP ON UPDATE CURRENT_TIMESTAMP,
  KEY idx_fk_city_id (city_id),
  SPATIAL KEY idx_location (location),
  CONSTRAINT fk_address_city FOREIGN KEY (city_id) REFERENCES city (city_id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE category (
  category_id TINYINT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY,
  name VARCHAR(25) NOT NULL,
  last_update TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP ON UPDATE CURRENT_TIMESTAMP
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE actor (
  actor_id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY,
  first_name VARCHAR(45) NOT NULL,
  last_name VARCHAR(45) NOT NULL,
  last_update TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP ON UPDATE CURRENT_TIMESTAMP,
  KEY idx_actor_last_name (last_name)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE film (
  film_id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY,
  title VARCHAR(128) NOT NULL,
  description TEXT DEFAULT NULL,
  release_year YEAR DEFAULT NULL,
  language_id TINYINT UNSIGNED NOT NULL,
  original_language_id TINYINT UNSIGNED DEFAULT NULL,
  rental_duration TINYINT UNSIGNED NOT NULL DEFAULT 3,
  rental_rate DECIMAL(4,2) NOT NULL DEFAULT 4.99,
  length SMALLINT UNSIGNED DEFAULT NULL,
  replacement_cost DECIMAL(5,2) NOT NULL DEFAULT 19.99,
  rating ENUM('G','PG','PG-13','R','NC-17') DEFAULT 'G' COMMENT 'The film''s rating, "G" to "NC-17"',
  special_features SET('Trailers','Commentaries','Deleted Scenes','Behind the Scenes') DEFAULT NULL,
  last_update TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP ON UPDATE CURRENT_TIMESTAMP,
  KEY idx_title (title),
  KEY idx_fk_language_id (language_id),
  KEY idx_fk_original_language_id (original_language_id),
  CONSTRAINT fk_film_language FOREIGN KEY (language_id) REFERENCES language (language_id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COMMENT='Films à louer';

CREATE TABLE film_actor (
  actor_id SMALLINT UNSIGNED NOT NULL,
  film_id SMALLINT UNSIGNED NOT NULL,
  last_update TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP ON UPDATE CURRENT_TIMESTAMP,
  PRIMARY KEY (actor_id, film_id),
  KEY idx_fk_film_id (film_id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE film_category (
  film_id SMALLINT UNSIGNED NOT NULL,
  category_id TINYINT UNSIGNED NOT NULL,
  last_update TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP ON UPDATE CURRENT_TIMESTAMP,
  PRIMARY KEY (film_id, category_id),
  KEY fk_film_category_category (category_id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE film_text (
  film_id SMALLINT NOT NULL PRIMARY KEY,
  title VARCHAR(255) NOT NULL,
  description TEXT,
  FULLTEXT KEY idx_title_description (title, description)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE film_review (
  review_id INT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY,
  film_id SMALLINT UNSIGNED NOT NULL,
  stars TINYINT NOT NULL DEFAULT 3,
  body LONGTEXT NOT NULL,
  written DATE DEFAULT (curdate()),
  KEY idx_fk_film_id (film_id),
  KEY idx_review_body (body(100))
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE inventory (
  inventory_id MEDIUMINT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY,
  film_id SMALLINT UNSIGNED NOT NULL,
  store_id TINYINT UNSIGNED NOT NULL,
  last_update TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP ON UPDATE CURRENT_TIMESTAMP,
  KEY idx_fk_film_id (film_id),
  KEY idx_store_id_film_id (store_id, film_id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE customer (
  customer_id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY,
  store_id TINYINT UNSIGNED NOT NULL,
  first_name VARCHAR(45) NOT NULL,
  last_name VARCHAR(45) NOT NULL,
  email VARCHAR(50) DEFAULT NULL,
  address_id SMALLINT UNSIGNED NOT NULL,
  active BOOLEAN NOT NULL DEFAULT TRUE,
  create_date DATETIME NOT NULL,
  last_update TIMESTAMP NULL DEFAULT CURRENT_TIMESTAMP ON UPDATE CURRENT_TIMESTAMP,
  KEY idx_fk_store_id (store_id),
  KEY idx_fk_address_id (address_id),
  KEY idx_last_name (last_name),
  UNIQUE KEY uq_customer_email (email)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE staff (
  staff_id TINYINT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY,
  first_name VARCHAR(45) NOT NULL,
  last_name VARCHAR(45) NOT NULL,
  address_id SMALLINT UNSIGNED NOT NULL,
  picture BLOB DEFAULT NULL,
  email VARCHAR(50) DEFAULT NULL,
  store_id TINYINT UNSIGNED NOT NULL,
  active BOOLEAN NOT NULL DEFAULT TRUE,
  username VARCHAR(16) NOT NULL,
  password VARCHAR(40) BINARY DEFAULT NULL,
  last_update TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP ON UPDATE CURRENT_TIMESTAMP,
  KEY idx_fk_store_id (store_id),
  KEY idx_fk_address_id (address_id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE store (
  store_id TINYINT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY,
  manager_staff_id TINYINT UNSIGNED NOT NULL,
  address_id SMALLINT UNSIGNED NOT NULL,
  last_update TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP ON UPDATE CURRENT_TIMESTAMP,
  UNIQUE KEY idx_unique_manager (manager_staff_id),
  KEY idx_fk_address_id (address_id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE rental (
  rental_id INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  rental_date DATETIME NOT NULL,
  inventory_id MEDIUMINT UNSIGNED NOT NULL,
  customer_id SMALLINT UNSIGNED NOT NULL,
  return_date DATETIME DEFAULT NULL,
  staff_id TINYINT UNSIGNED NOT NULL,
  last_update TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP ON UPDATE CURRENT_TIMESTAMP,
  UNIQUE KEY rental_date (rental_date, inventory_id, customer_id),
  KEY idx_fk_inventory_id (inventory_id),
  KEY idx_fk_customer_id (customer_id),
  KEY idx_fk_staff_id (staff_id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE payment (
  payment_id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY,
  customer_id SMALLINT UNSIGNED NOT NULL,
  staff_id TINYINT UNSIGNED NOT NULL,
  rental_id INT DEFAULT NULL,
  amount DECIMAL(5,2) NOT NULL,
  payment_date DATETIME NOT NULL,
  last_update TIMESTAMP NULL DEFAULT CURRENT_TIMESTAMP ON UPDATE CURRENT_TIMESTAMP,
  KEY idx_fk_staff_id (staff_id),
  KEY idx_fk_customer_id (customer_id),
  KEY fk_payment_rental (rental_id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE productlines (
  productLine VARCHAR(50) NOT NULL PRIMARY KEY,
  textDescription VARCHAR(4000) DEFAULT NULL,
  htmlDescription MEDIUMTEXT,
  image MEDIUMBLOB
) ENGINE=InnoDB DEFAULT CHARSET=latin1;

CREATE TABLE products (
  productCode VARCHAR(15) NOT NULL PRIMARY KEY,
  productName VARCHAR(70) NOT NULL,
  productLine VARCHAR(50) NOT NULL,
  productScale VARCHAR(10) NOT NULL,
  quantityInStock SMALLINT NOT NULL DEFAULT 0,
  buyPrice DECIMAL(10,2) NOT NULL,
  MSRP DECIMAL(10,2) NOT NULL,
  KEY productLine (productLine)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;

CREATE TABLE orders (
  orderNumber INT NOT NULL PRIMARY KEY,
  orderDate DATE NOT NULL,
  requiredDate DATE NOT NULL,
  shippedDate DATE DEFAULT NULL,
  status VARCHAR(15) NOT NULL DEFAULT 'In Process',
  comments TEXT,
  customerNumber INT NOT NULL,
  KEY customerNumber (customerNumber)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;

CREATE TABLE orderdetails (
  orderNumber INT NOT NULL,
  productCode VARCHAR(15) NOT NULL,
  quantityOrdered INT NOT NULL,
  priceEach DECIMAL(10,2) NOT NULL,
  orderLineNumber SMALLINT NOT NULL,
  PRIMARY KEY (orderNumber, productCode),
  KEY productCode (productCode)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;

INSERT INTO language (name) VALUES ('English'), ('Italian'), ('Japanese'), ('Mandarin'), ('French'), ('German');
INSERT INTO country (country) SELECT CONCAT('Country ', seq) FROM seq_1_to_40;
INSERT INTO city (city, country_id) SELECT CONCAT('City ', seq), 1 + seq % 40 FROM seq_1_to_120;
INSERT INTO address (address, address2, district, city_id, postal_code, phone, location) SELECT CONCAT(seq, ' Main Street'), IF(seq % 3 = 0, NULL, ''), CONCAT('District ', seq % 9), 1 + seq % 120, IF(seq % 7 = 0, NULL, LPAD(seq, 5, '0')), CONCAT('555-', seq), ST_GeomFromText(CONCAT('POINT(', seq % 90, ' ', seq % 45, ')')) FROM seq_1_to_200;
INSERT INTO category (name) VALUES ('Action'), ('Animation'), ('Children'), ('Classics'), ('Comedy'), ('Documentary'), ('Drama'), ('Family');
INSERT INTO actor (first_name, last_name) SELECT ELT(1 + seq % 5, 'PENELOPE', 'NICK', 'ED', 'JENNIFER', 'JOHNNY'), CONCAT(ELT(1 + seq % 4, 'GUINESS', 'WAHLBERG', 'CHASE', 'DAVIS'), seq % 20) FROM seq_1_to_100;
INSERT INTO film (title, description, release_year, language_id, original_language_id, rental_duration, rental_rate, length, replacement_cost, rating, special_features) SELECT CONCAT('FILM TITLE ', seq), IF(seq % 5 = 0, NULL, CONCAT('A story of ', seq, ' friends')), 2000 + seq % 20, 1 + seq % 6, IF(seq % 4 = 0, 2, NULL), 3 + seq % 5, ELT(1 + seq % 3, 0.99, 2.99, 4.99), 60 + seq % 120, 9.99 + seq % 20, ELT(1 + seq % 5, 'G', 'PG', 'PG-13', 'R', 'NC-17'), ELT(1 + seq % 4, 'Trailers', 'Commentaries,Deleted Scenes', NULL, '') FROM seq_1_to_300;
INSERT INTO film_actor (actor_id, film_id) SELECT DISTINCT 1 + (f.seq * 7 + a.seq) % 100, f.seq FROM seq_1_to_300 AS f JOIN seq_1_to_3 AS a;
INSERT INTO film_category (film_id, category_id) SELECT seq, 1 + seq % 8 FROM seq_1_to_300;
INSERT INTO film_text SELECT film_id, title, description FROM film;
INSERT INTO film_review (review_id, film_id, stars, body, written) VALUES (0, 1, 5, 'The zeroth review keeps its key.', '2024-01-01');
INSERT INTO film_review (film_id, stars, body, written) SELECT 1 + seq % 300, 1 + seq % 5, REPEAT(CONCAT('Review ', seq, ' '), 1 + seq % 50), IF(seq % 9 = 0, NULL, '2024-02-01' + INTERVAL seq DAY) FROM seq_1_to_150;
INSERT INTO inventory (film_id, store_id) SELECT 1 + seq % 300, 1 + seq % 2 FROM seq_1_to_600;
INSERT INTO staff (first_name, last_name, address_id, email, store_id, username, password) VALUES ('Mike', 'Hillyer', 3, 'mike@example.com', 1, 'Mike', 'secret'), ('Jon', 'Stephens', 4, 'jon@example.com', 2, 'Jon', NULL);
INSERT INTO store (manager_staff_id, address_id) VALUES (1, 1), (2, 2);
INSERT INTO customer (store_id, first_name, last_name, email, address_id, active, create_date) SELECT 1 + seq % 2, ELT(1 + seq % 4, 'MARY', 'PATRICIA', 'LINDA', 'BARBARA'), CONCAT('SMITH', seq % 30), IF(seq % 11 = 0, NULL, CONCAT('customer', seq, '@example.org')), 5 + seq % 190, seq % 13 <> 0, '2006-02-14 22:04:36' + INTERVAL seq HOUR FROM seq_1_to_250;
INSERT INTO rental (rental_date, inventory_id, customer_id, return_date, staff_id) SELECT '2005-05-24 22:53:30' + INTERVAL seq * 37 MINUTE, 1 + seq % 600, 1 + seq % 250, IF(seq % 10 = 0, NULL, '2005-05-28 19:40:33' + INTERVAL seq HOUR), 1 + seq % 2 FROM seq_1_to_1000;
INSERT INTO payment (customer_id, staff_id, rental_id, amount, payment_date) SELECT 1 + seq % 250, 1 + seq % 2, IF(seq % 25 = 0, NULL, seq), ELT(1 + seq % 4, 0.99, 2.99, 4.99, 10.99), '2005-05-25 11:30:37' + INTERVAL seq * 41 MINUTE FROM seq_1_to_1000;
INSERT INTO productlines VALUES ('Classic Cars', 'Attention car enthusiasts', NULL, NULL), ('Motorcycles', 'Our motorcycles are state of the art', '<p>Bikes</p>', NULL), ('Planes', NULL, NULL, NULL), ('Ships', 'The perfect holiday gift', NULL, NULL);
INSERT INTO products SELECT CONCAT('S', seq % 50, '_', 1000 + seq), CONCAT('Model ', seq), ELT(1 + seq % 4, 'Classic Cars', 'Motorcycles', 'Planes', 'Ships'), ELT(1 + seq % 3, '1:10', '1:18', '1:24'), seq * 13 % 9000, 10 + seq % 90, 20 + seq % 180 FROM seq_1_to_110;
INSERT INTO orders (orderNumber, orderDate, requiredDate, shippedDate, status, comments, customerNumber) SELECT 10100 + seq, '2003-01-06' + INTERVAL seq DAY, '2003-01-13' + INTERVAL seq DAY, IF(seq % 8 = 0, NULL, '2003-01-10' + INTERVAL seq DAY), ELT(1 + seq % 3, 'Shipped', 'In Process', 'Cancelled'), IF(seq % 5 = 0, 'Check on availability.', NULL), 103 + seq % 120 FROM seq_1_to_320;
INSERT INTO orderdetails SELECT 10100 + o.seq, CONCAT('S', (o.seq + l.seq) % 50, '_', 1000 + 1 + (o.seq * 3 + l.seq) % 110), 20 + (o.seq + l.seq) % 30, 30 + (o.seq * l.seq) % 170, l.seq FROM seq_1_to_320 AS o JOIN seq_1_to_4 AS l;
ALTER TABLE film ADD CONSTRAINT fk_film_language_original FOREIGN KEY (original_language_id) REFERENCES language (language_id) ON DELETE RESTRICT ON UPDATE CASCADE;
ALTER TABLE film_actor ADD CONSTRAINT fk_film_actor_actor FOREIGN KEY (actor_id) REFERENCES actor (actor_id) ON UPDATE CASCADE, ADD CONSTRAINT fk_film_actor_film FOREIGN KEY (film_id) REFERENCES film (film_id) ON UPDATE CASCADE;
ALTER TABLE film_category ADD CONSTRAINT fk_film_category_film FOREIGN KEY (film_id) REFERENCES film (film_id), ADD CONSTRAINT fk_film_category_category FOREIGN KEY (category_id) REFERENCES category (category_id);
ALTER TABLE film_review ADD CONSTRAINT fk_review_film FOREIGN KEY (film_id) REFERENCES film (film_id) ON DELETE CASCADE;
ALTER TABLE inventory ADD CONSTRAINT fk_inventory_film FOREIGN KEY (film_id) REFERENCES film (film_id);
ALTER TABLE customer ADD CONSTRAINT fk_customer_address FOREIGN KEY (address_id) REFERENCES address (address_id), ADD CONSTRAINT fk_customer_store FOREIGN KEY (store_id) REFERENCES store (store_id);
ALTER TABLE staff ADD CONSTRAINT fk_staff_address FOREIGN KEY (address_id) REFERENCES address (address_id), ADD CONSTRAINT fk_staff_store FOREIGN KEY (store_id) REFERENCES store (store_id);
ALTER TABLE store ADD CONSTRAINT fk_store_staff FOREIGN KEY (manager_staff_id) REFERENCES staff (staff_id), ADD CONSTRAINT fk_store_address FOREIGN KEY (address_id) REFERENCES address (address_id);
ALTER TABLE rental ADD CONSTRAINT fk_rental_inventory FOREIGN KEY (inventory_id) REFERENCES inventory (inventory_id), ADD CONSTRAINT fk_rental_customer FOREIGN KEY (customer_id) REFERENCES customer (customer_id), ADD CONSTRAINT fk_rental_staff FOREIGN KEY (staff_id) REFERENCES staff (staff_id);
ALTER TABLE payment ADD CONSTRAINT fk_payment_customer FOREIGN KEY (customer_id) REFERENCES customer (customer_id), ADD CONSTRAINT fk_payment_staff FOREIGN KEY (staff_id) REFERENCES staff (staff_id), ADD CONSTRAINT fk_payment_rental FOREIGN KEY (rental_id) REFERENCES rental (rental_id) ON DELETE SET NULL;
ALTER TABLE products ADD CONSTRAINT products_ibfk_1 FOREIGN KEY (productLine) REFERENCES productlines (productLine);
ALTER TABLE orderdetails ADD CONSTRAINT orderdetails_ibfk_1 FOREIGN KEY (orderNumber) REFERENCES orders (orderNumber);
