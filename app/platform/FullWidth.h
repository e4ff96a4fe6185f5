#pragma once
#include <QString>

// "12" -> "１２": window numbers in captions are shown in full-width digits.
inline QString toFullWidthDigits(const QString& s) {
    QString out = s;
    for (QChar& c : out)
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) c = QChar(0xFF10 + (c.unicode() - '0'));
    return out;
}
inline QString toFullWidthDigits(int n) {
    return toFullWidthDigits(QString::number(n));
}
