-- The demo account book: three years of a household's purchases.
-- Built at build time by tamroc-mkdb; the numbers are made up but
-- deterministic, so every build gives the same book.

CREATE TABLE category_tbl (
    category_id   INTEGER PRIMARY KEY,
    category_name TEXT NOT NULL UNIQUE
);

CREATE TABLE shop_tbl (
    shop_id   INTEGER PRIMARY KEY,
    shop_name TEXT NOT NULL UNIQUE
);

CREATE TABLE buy_tbl (
    buy_id      INTEGER PRIMARY KEY,
    buy_year    TEXT NOT NULL,
    buy_month   INTEGER NOT NULL,
    buy_day     INTEGER,
    category_id INTEGER,
    shop_id     INTEGER,
    amount      INTEGER NOT NULL,
    paid        INTEGER NOT NULL,
    item_name   TEXT NOT NULL,
    memo        TEXT
);

INSERT INTO category_tbl VALUES
 (0, '食費'), (1, '日用品'), (2, '外食'), (3, '交通費'), (4, '光熱費'), (5, '通信費'),
 (6, '衣料品'), (7, '医療費'), (8, '教育費'), (9, '娯楽費'), (10, '住居費'), (11, '交際費');

INSERT INTO shop_tbl VALUES
 (0, 'スーパーまるや'), (1, 'コンビニ駅前店'), (2, 'ドラッグストアあおば'), (3, '八百屋いちかわ'),
 (4, '電力会社'), (5, 'ガス会社'), (6, '水道局'), (7, '携帯電話会社'), (8, '駅の券売機'),
 (9, '洋服のはなぶさ'), (10, '内科さくらクリニック'), (11, 'みどり書店'), (12, '映画館シネマ北口'),
 (13, '定食屋ふくや'), (14, '回転寿司うみかぜ'), (15, '不動産管理会社'), (16, 'ホームセンターきらく'),
 (17, '通販サイト');

-- What the household buys: category, shop, item and a usual price.
CREATE TEMP TABLE demo_items (
    id INTEGER PRIMARY KEY, category_id INTEGER, shop_id INTEGER, item_name TEXT, price INTEGER
);
INSERT INTO demo_items VALUES
 (0, 0, 0, '米 5kg', 2380), (1, 0, 0, '牛乳', 228), (2, 0, 0, '卵 10個', 248), (3, 0, 3, '野菜いろいろ', 860),
 (4, 0, 0, '豚こま肉', 498), (5, 0, 1, 'おにぎり', 150), (6, 0, 0, 'パン', 198), (7, 0, 3, '果物', 580),
 (8, 0, 0, '冷凍食品', 398), (9, 0, 0, '調味料', 320), (10, 1, 2, 'トイレットペーパー', 438),
 (11, 1, 2, '洗剤', 328), (12, 1, 16, '電球', 980), (13, 1, 2, 'シャンプー', 598), (14, 2, 13, '昼定食', 850),
 (15, 2, 14, '回転寿司', 2640), (16, 2, 1, 'コーヒー', 120), (17, 3, 8, '電車賃', 420), (18, 3, 8, '定期券', 9800),
 (19, 4, 4, '電気代', 7800), (20, 4, 5, 'ガス代', 4300), (21, 4, 6, '水道代', 3900), (22, 5, 7, '携帯電話料金', 5200),
 (23, 6, 9, 'シャツ', 2900), (24, 6, 9, '靴下', 780), (25, 7, 10, '診察代', 1500), (26, 7, 2, '風邪薬', 1280),
 (27, 8, 11, '参考書', 1650), (28, 8, 17, '通信講座', 4800), (29, 9, 12, '映画', 1900), (30, 9, 11, '雑誌', 690),
 (31, 10, 15, '家賃', 68000), (32, 11, 17, 'お祝いの品', 5500), (33, 0, 0, '魚', 460), (34, 0, 0, 'お菓子', 258);

-- 1,620 purchases over 2023 to 2025: 45 a month, the fixed bills first.
WITH RECURSIVE seq(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM seq WHERE n < 1619),
shaped AS (
    SELECT n,
           2023 + n / 540                      AS y,
           (n % 540) / 45 + 1                  AS m,
           n % 45                              AS k
    FROM seq
),
picked AS (
    SELECT n, y, m, k,
           CASE k WHEN 0 THEN 31 WHEN 1 THEN 19 WHEN 2 THEN 20 WHEN 3 THEN 21 WHEN 4 THEN 22
                  ELSE ((n * 37 + n / 7) % 35) END AS item
    FROM shaped
),
priced AS (
    SELECT p.n, p.y, p.m, p.k, i.category_id, i.shop_id, i.item_name,
           CASE WHEN p.k < 5 THEN i.price + ((p.n * 13) % 7) * 100 - 300 * (p.k = 0)
                ELSE ((i.price * (85 + (p.n * 53) % 31)) / 1000) * 10 END AS amount
    FROM picked p JOIN demo_items i ON i.id = p.item
)
-- What was paid: the bills in full; a sale takes a tenth off at the till,
-- and points pay part of some purchases (up to 500 yen, or 100 on a few).
INSERT INTO buy_tbl (buy_id, buy_year, buy_month, buy_day, category_id, shop_id, amount, paid,
                     item_name, memo)
SELECT n + 1,
       CAST(y AS TEXT),
       m,
       CASE WHEN k < 5 THEN 25 + k ELSE ((n * 7 + k) % 28) + 1 END,
       category_id,
       shop_id,
       amount,
       amount - CASE WHEN k < 5 THEN 0
                     WHEN n % 97 = 0 THEN (amount / 100) * 10
                     WHEN n % 131 = 0 THEN MIN(amount, 500)
                     WHEN n % 11 = 0 THEN MIN(amount, 100)
                     ELSE 0 END,
       item_name,
       CASE WHEN k < 5 THEN NULL
            WHEN n % 97 = 0 THEN '特売'
            WHEN n % 131 = 0 OR n % 11 = 0 THEN 'ポイント使用'
            ELSE NULL END
FROM priced
ORDER BY n;

DROP TABLE demo_items;
