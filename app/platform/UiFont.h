#pragma once
#include <QFont>
#include <QStringList>

// The program's Japanese UI font: MS PGothic where it exists, else its
// metric-compatible stand-ins.
inline QFont uiFont(qreal points = 9.75, bool bold = false) {
    QFont f;
    f.setFamilies({QStringLiteral("MS PGothic"), QStringLiteral("ＭＳ Ｐゴシック"),
                   QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}
