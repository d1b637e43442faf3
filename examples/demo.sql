-- The demo database: a small order book for trying varnelo-export.
--
-- The values are picked to trip up an exporter: quotes of both kinds,
-- commas, semicolons, TABs, LF and CR LF inside text, a backslash, a "%",
-- accents, Greek, Cyrillic, CJK and emoji, NULL in every column type and the
-- empty string beside it, midnight and afternoon times, decimals, negative
-- numbers, integers past 2^53 and at the 64-bit limits, Booleans, text that
-- looks like a formula or a number.
--
-- Every row is computed from its id (no random()), so the database is the
-- same on every build. Dates are ISO text, Booleans 0/1, as SQLite keeps them.
--
-- The command-line host's default query is:  SELECT * FROM demo_export

PRAGMA foreign_keys = ON;
BEGIN;

CREATE TABLE customers (
    customer_id  INTEGER PRIMARY KEY,
    name         NVARCHAR(80) NOT NULL,
    contact      VARCHAR(60),
    email        VARCHAR(120),
    country      CHAR(2),
    city         NVARCHAR(60),
    account_no   BIGINT,
    credit_limit DECIMAL(10,2),
    rating       REAL,
    is_active    BOOLEAN,
    since        DATE,
    last_login   DATETIME,
    notes        TEXT
);

CREATE TABLE orders (
    order_id     INTEGER PRIMARY KEY,
    customer_id  INTEGER REFERENCES customers (customer_id),
    order_ref    CHAR(10) NOT NULL,
    status       VARCHAR(20),
    order_date   DATE,
    shipped_at   DATETIME,
    quantity     INTEGER,
    amount       DECIMAL(10,2),
    discount     REAL,
    tracking_no  BIGINT,
    is_gift      BOOLEAN,
    ship_to      NVARCHAR(200),
    comment      TEXT
);

CREATE TABLE order_items (
    order_id     INTEGER NOT NULL REFERENCES orders (order_id),
    line_no      INTEGER NOT NULL,
    sku          CHAR(8),
    description  NVARCHAR(120),
    qty          INTEGER,
    unit_price   DECIMAL(10,2),
    weight_kg    REAL,
    PRIMARY KEY (order_id, line_no)
);

-- Hand-picked customers: one awkward case each.
INSERT INTO customers VALUES
 (1, 'Acme Widgets, Inc.', 'Wile E. Coyote', 'wile@acme.example', 'US', 'Phoenix',
     1000000001, 25000.00, 4.5, 1, '2019-03-01', '2024-05-17 14:35:20',
     'Pays on time; prefers "net 30"'),
 (2, 'O''Brien & Sons', 'Siobhán O''Brien', 'siobhan@obrien.example', 'IE', 'Dún Laoghaire',
     9007199254740993, 1500.50, 3.75, 1, '2020-11-30', '2024-06-01 00:00:00',
     'It''s "the" shop, isn''t it?'),
 (3, 'Müller GmbH', 'Jürgen Müller', 'jm@mueller.example', 'DE', 'München',
     9223372036854775807, 0.00, 0.0, 0, '2021-01-01', NULL,
     'Grüße; Straße, Öl'),
 (4, '東京商事株式会社', '山田太郎', 'yamada@tokyo.example', 'JP', '東京',
     -9223372036854775808, 99999999.99, 5, 1, '2018-07-07', '2024-02-29 23:59:59',
     '出荷は月曜日。Thanks 🙏'),
 (5, 'Café Zoë', 'Zoë Ångström', '', 'FR', 'Paris',
     -42, -250.75, -1.5, NULL, '2022-02-28', '2024-03-31 12:00:00',
     'Line one' || char(10) || 'Line two'),
 (6, 'Emoji Party 🎉🎈', NULL, 'party@emoji.example', NULL, NULL,
     NULL, NULL, NULL, 1, NULL, NULL, NULL),
 (7, '', '', '', '', '',
     0, 0, 0, 0, '2023-01-01', '2023-01-01 00:00:00', ''),
 (8, 'Tab' || char(9) || 'Separated Ltd', 'Ana; María', 'ana@tab.example', 'ES', 'A Coruña',
     4294967296, 12.34, 2.25, 1, '2017-12-31', '2024-01-01 15:04:05',
     'CR LF here:' || char(13, 10) || 'second line'),
 (9, '100% Organic Co.', 'Percy %d Printf', 'percy@organic.example', 'GB', 'London',
     2147483648, 100.00, 4.999, 1, '2016-05-05', '2024-04-04 16:20:00',
     '50% off; "buy 1, get 1"'),
 (10, 'Ελληνικά Τρόφιμα', 'Γιώργος Παπαδόπουλος', 'giorgos@greek.example', 'GR', 'Αθήνα',
     -1, 0.01, 0.001, 1, '2015-08-15', '2024-08-15 13:00:00',
     'Привет, мир'),
 (11, 'Backslash \ Ltd', 'C:\Users\Temp', 'back@slash.example', 'NL', '''s-Hertogenbosch',
     123456789012345, 77.70, 3.14159, 1, '2014-04-01', '2024-09-09 09:09:09',
     'ends with a backslash \'),
 (12, ' Leading and trailing spaces ', '   ', 'spaces@pad.example', 'US', 'New York',
     7, 5.00, 2, 0, '2010-10-10', '2024-10-10 18:45:30',
     '=SUM(A1:A2)');

-- The rest of the customers, generated.
WITH RECURSIVE n(i) AS (SELECT 13 UNION ALL SELECT i + 1 FROM n WHERE i < 60)
INSERT INTO customers
SELECT i,
       CASE i % 6
           WHEN 0 THEN 'Northwind Traders'
           WHEN 1 THEN 'Blue Sky Café'
           WHEN 2 THEN 'Smith, Jones & Co.'
           WHEN 3 THEN 'Kōbe Steelworks'
           WHEN 4 THEN 'The "Best" Bakery'
           ELSE 'L''Atelier'
       END || ' #' || i,
       CASE WHEN i % 9 = 0 THEN NULL
            ELSE CASE i % 4 WHEN 0 THEN 'Ann Lee' WHEN 1 THEN 'José Núñez'
                            WHEN 2 THEN 'Li Wei 李伟' ELSE 'D''Arcy, Pat' END
       END,
       CASE WHEN i % 11 = 0 THEN '' ELSE printf('buyer%02d@example.com', i) END,
       CASE i % 5 WHEN 0 THEN 'US' WHEN 1 THEN 'DE' WHEN 2 THEN 'JP'
                  WHEN 3 THEN 'BR' ELSE NULL END,
       CASE i % 5 WHEN 0 THEN 'Boston' WHEN 1 THEN 'Köln' WHEN 2 THEN '大阪'
                  WHEN 3 THEN 'São Paulo' ELSE NULL END,
       CASE WHEN i % 10 = 0 THEN NULL ELSE 9007199254740992 + i * 4099 END,
       CASE WHEN i % 8 = 0 THEN NULL ELSE (i * 3571 % 2000000) / 100.0 END,
       CASE WHEN i % 7 = 0 THEN NULL ELSE (i % 50) / 10.0 END,
       CASE WHEN i % 13 = 0 THEN NULL ELSE i % 2 END,
       CASE WHEN i % 12 = 0 THEN NULL ELSE date('2015-01-01', '+' || (i * 53) || ' days') END,
       CASE WHEN i % 6 = 0 THEN NULL
            WHEN i % 4 = 0 THEN datetime('2024-01-01', '+' || i || ' days')
            ELSE datetime('2024-01-01', '+' || i || ' days', '+' || (12 + i % 11) || ' hours',
                          '+' || (i * 7 % 60) || ' minutes', '+' || (i * 13 % 60) || ' seconds')
       END,
       CASE i % 5 WHEN 0 THEN NULL WHEN 1 THEN '' WHEN 2 THEN 'VIP, "gold" tier'
                  WHEN 3 THEN 'Call before 5 p.m.;' || char(10) || 'ask for ''Sam'''
                  ELSE '007' END
FROM n;

-- 300 orders. The special cases come from the order id, so each kind of value
-- turns up many times and in different combinations.
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300),
d(i, day) AS (
    SELECT i, CASE WHEN i % 43 = 0 THEN NULL
                   ELSE date('2023-01-01', '+' || (i * 3 % 540) || ' days') END
    FROM n)
INSERT INTO orders
SELECT i,
       CASE WHEN i % 50 = 0 THEN NULL ELSE 1 + (i * 7) % 60 END,
       printf('SO-%06d', i),
       CASE WHEN i % 37 = 0 THEN NULL
            WHEN i % 41 = 0 THEN ''
            ELSE CASE i % 5 WHEN 0 THEN 'new' WHEN 1 THEN 'paid' WHEN 2 THEN 'shipped'
                            WHEN 3 THEN 'cancelled' ELSE 'on hold, see note' END
       END,
       day,
       CASE WHEN i % 9 = 0 THEN NULL
            -- shipped at midnight: a date-time with no time of day
            WHEN i % 10 = 0 THEN datetime(coalesce(day, '2024-06-30'), '+2 days')
            ELSE datetime(coalesce(day, '2024-06-30'), '+' || (i % 4) || ' days',
                          '+' || (8 + i * 5 % 16) || ' hours',
                          '+' || (i * 13 % 60) || ' minutes', '+' || (i * 7 % 60) || ' seconds')
       END,
       CASE WHEN i % 29 = 0 THEN NULL
            WHEN i % 31 = 0 THEN 0
            WHEN i % 23 = 0 THEN -(1 + i % 5)
            ELSE 1 + i % 20 END,
       CASE WHEN i % 19 = 0 THEN NULL
            WHEN i % 23 = 0 THEN -((i * 7919 % 100000) / 100.0)
            WHEN i % 17 = 0 THEN 0
            ELSE (i * 7919 % 1000000) / 100.0 END,
       CASE WHEN i % 6 = 0 THEN NULL ELSE (i % 7) * 0.05 END,
       CASE WHEN i % 8 = 0 THEN NULL
            WHEN i % 97 = 0 THEN -1
            ELSE 9007199254740992 + i * 1000003 END,
       CASE WHEN i % 14 = 0 THEN NULL ELSE (i % 3 = 0) END,
       CASE i % 7
           WHEN 0 THEN '1 Main St' || char(10) || 'Springfield'
           WHEN 1 THEN '221B Baker Street, London'
           WHEN 2 THEN 'Rue de l''Église 5' || char(13, 10) || '75001 Paris'
           WHEN 3 THEN '東京都千代田区1-1'
           WHEN 4 THEN 'c/o "Mailroom"; Dock 7'
           WHEN 5 THEN ''
           ELSE NULL
       END,
       CASE WHEN i % 50 = 25 THEN 'Long:' || replace(printf('%.40c', '*'), '*', ' lorem ipsum')
            ELSE CASE i % 10
                WHEN 1 THEN 'Leave at the door, please'
                WHEN 2 THEN 'He said "fragile", so handle with care'
                WHEN 3 THEN 'Customer''s 2nd order; priority'
                WHEN 4 THEN 'Col1' || char(9) || 'Col2' || char(9) || 'Col3'
                WHEN 5 THEN '100% satisfied 😀'
                WHEN 6 THEN 'First line' || char(13, 10) || 'Second line' || char(10) || 'Third line'
                WHEN 7 THEN ''
                WHEN 8 THEN NULL
                WHEN 9 THEN '=1+2'
                ELSE 'Ümlaut Straße, naïve façade — “smart quotes” ‘single’'
            END
       END
FROM d;

-- Extremes, each in one place so a test can look for it.
UPDATE orders SET amount = 99999999.99, tracking_no = 9223372036854775807,
                  quantity = 2147483647 WHERE order_id = 1;
UPDATE orders SET amount = -0.01, tracking_no = -9223372036854775808,
                  quantity = -2147483648 WHERE order_id = 2;
UPDATE orders SET discount = 1e-7, amount = 0.1 WHERE order_id = 3;
UPDATE orders SET discount = 1e20, amount = 1234567.5 WHERE order_id = 4;
UPDATE orders SET discount = 1.0 / 3, tracking_no = 9007199254740993 WHERE order_id = 5;
UPDATE orders SET order_date = '2024-02-29', shipped_at = '2024-03-01 00:00:00' WHERE order_id = 6;
UPDATE orders SET shipped_at = '2024-12-31 23:59:59', comment = ',;"''' || char(9) || '%'
              WHERE order_id = 7;
UPDATE orders SET customer_id = 2 WHERE order_id IN (8, 9);
UPDATE orders SET customer_id = 4 WHERE order_id = 10;
UPDATE orders SET customer_id = 5 WHERE order_id = 11;
UPDATE orders SET customer_id = 6 WHERE order_id = 12;
UPDATE orders SET customer_id = 7 WHERE order_id = 13;
UPDATE orders SET customer_id = 8 WHERE order_id = 14;
UPDATE orders SET customer_id = 11 WHERE order_id = 15;
UPDATE orders SET customer_id = 12 WHERE order_id = 16;

-- One to three lines per order.
WITH RECURSIVE l(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM l WHERE k < 3)
INSERT INTO order_items
SELECT o.order_id, l.k,
       printf('SKU%05d', (o.order_id * 31 + l.k * 17) % 100000),
       CASE (o.order_id + l.k) % 6
           WHEN 0 THEN 'Widget, large'
           WHEN 1 THEN '3.5" floppy disk'
           WHEN 2 THEN 'Crème brûlée torch'
           WHEN 3 THEN '緑茶 (green tea), 100 g'
           WHEN 4 THEN ''
           ELSE NULL
       END,
       CASE WHEN (o.order_id + l.k) % 25 = 0 THEN NULL ELSE 1 + (o.order_id * l.k) % 12 END,
       CASE WHEN (o.order_id + l.k) % 21 = 0 THEN NULL
            ELSE ((o.order_id * 389 + l.k * 1013) % 50000) / 100.0 END,
       CASE WHEN (o.order_id + l.k) % 16 = 0 THEN NULL
            ELSE ((o.order_id * 7 + l.k) % 1000) / 8.0 END
FROM orders AS o JOIN l ON l.k <= 1 + o.order_id % 3;

-- What varnelo-export exports when no query is given: one line per order with
-- its customer. Every column is a plain table column, so each keeps its
-- declared type; orders without a customer keep their row (LEFT JOIN).
CREATE VIEW demo_export AS
SELECT o.order_id,
       o.order_ref,
       o.order_date,
       o.shipped_at,
       o.status,
       c.name AS customer,
       c.contact,
       c.email,
       c.country,
       c.city,
       c.account_no,
       o.quantity,
       o.amount,
       o.discount,
       o.tracking_no,
       o.is_gift,
       o.ship_to,
       o.comment
FROM orders AS o
LEFT JOIN customers AS c ON c.customer_id = o.customer_id
ORDER BY o.order_id;

COMMIT;
