#pragma once
// The catalog of the 100,000-purchase book that the editor benchmarks open,
// on a file or on a server.
#include "Profile.h"
#include "TestEnv.h"

#include <QFile>
#include <QString>

inline void writePurchaseCatalog(const QString& iniPath) {
    QString ini = "[buy]\nTableJPName=購入テーブル\n";
    ini += iniColumn(1, "id", "番号", 0, "eInteger", "MainKey=1;Unique=1");
    ini += iniColumn(2, "y", "年", 1, "eText", "");
    ini += iniColumn(3, "m", "購入した月", 2, "eSmallint", "");
    ini += iniColumn(4, "d", "日", 3, "eInteger", "NullPermmit=1");
    ini += iniColumn(5, "cat_id", "分類", 4, "eInteger",
                     "GaibuTableName=cat;GaibuTableColName=cat_name;GaibuTableColKey=cat_id;"
                     "GaibuTableColeDataType=eText;InputPlus=1");
    ini += iniColumn(6, "shop_id", "購入店", 5, "eInteger",
                     "GaibuTableName=shop;GaibuTableColName=shop_name;GaibuTableColKey=shop_id;"
                     "GaibuTableColeDataType=eText;InputPlus=1");
    ini += iniColumn(7, "item", "品名", 6, "eText", "");
    ini += iniColumn(8, "amount", "購入金額", 7, "eInteger", "");
    ini += iniColumn(9, "memo", "備考", 8, "eText", "NullPermmit=1");
    QFile f(iniPath);
    f.open(QIODevice::WriteOnly);
    f.write(Profile::toCp932(ini));
}
