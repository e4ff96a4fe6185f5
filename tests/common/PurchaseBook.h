#pragma once
// The small purchase book of the editor's tests: purchases (buy) with a
// category (cat) and a shop (shop) as foreign keys. Grid columns: 0 番号,
// 1 品名, 2 分類 (text of cat_id), 3 店 (text of shop_id), 4 金額, 5 数量,
// 6 コード, 7 cat_id, 8 shop_id, 9 flag. Loaded in key order: row 1 is id 5,
// row 2 id 6, row 3 id 7, row 4 id 9.
#include "TestEnv.h"

inline QString purchaseCatalog(const QString& shopRules = {}) {
    QString ini = "[buy]\nTableJPName=購入\n";
    ini += iniColumn(1, "id", "番号", 0, "eInteger", "MainKey=1;Unique=1");
    ini += iniColumn(2, "name", "品名", 1, "eText", "CheckInputTextLength=20;InputPlus=1");
    ini += iniColumn(3, "cat_id", "分類", 2, "eInteger",
                     "GaibuTableName=cat;GaibuTableColName=cat_name;GaibuTableColKey=cat_id;"
                     "GaibuTableColeDataType=eText;InputPlus=1;NullPermmit=1");
    ini += iniColumn(4, "shop_id", "店", 3, "eInteger",
                     "GaibuTableName=shop;GaibuTableColName=shop_name;GaibuTableColKey=shop_id;"
                     "GaibuTableColeDataType=eText;InputPlus=1;" +
                         shopRules);
    ini += iniColumn(5, "price", "金額", 4, "eInteger", "NullPermmit=1");
    ini += iniColumn(6, "qty", "数量", 5, "eSmallint", "NullPermmit=1");
    ini += iniColumn(7, "code", "コード", 6, "eText", "Unique=1;NullPermmit=1");
    ini += "[cat]\nTableJPName=分類\n" +
           iniColumn(1, "cat_id", "番号", 0, "eInteger", "MainKey=1;Unique=1") +
           iniColumn(2, "cat_name", "分類名", 1, "eText");
    return ini;
}

// `memo` columns lie outside the catalog: a save must leave them alone.
inline QStringList purchaseBook(bool memos = false) {
    const QString memo = memos ? ", memo text" : "";
    return {"create table buy (id integer primary key, name text not null, cat_id integer, "
            "shop_id integer, price integer, qty smallint, code text unique" +
                memo + ")",
            "create table cat (cat_id integer primary key, cat_name text unique" + memo + ")",
            "create table shop (shop_id integer primary key, shop_name text unique)",
            "insert into cat (cat_id, cat_name) values (0, '食費'), (1, '日用品'), (2, '外食'), "
            "(4, '交通費')",
            "insert into shop values (1, 'スーパー'), (2, 'コンビニ'), (3, '八百屋')",
            "insert into buy (id, name, cat_id, shop_id, price, qty, code) values "
            "(5, 'パン', 0, 2, 150, 1, 'a'), (6, 'お弁当', null, 5, 500, 2, 'b'), "
            "(7, '電車', 9, 1, null, null, 'c'), (9, '牛乳', 0, 1, 200, 1, 'd')"};
}
