#pragma once
#include <QDate>
#include <QString>
#include <optional>

// The values of a statement as the editor takes typed ones.
namespace ImportValues {

// Full-width ASCII as its half-width forms, the ideographic blank as a
// blank, blanks at either end removed.
QString plainText(QString text);
// An amount: digit-group commas, "¥" / "￥" and "円" dropped, full-width
// digits and signs; "(500)", "500-", "△500" and "▲500" are negative.
std::optional<qint64> amount(const QString& text);
// A date as Japanese statements write it: 2026/12/07, 2026-12-07,
// 2026.12.7, 20261207, 2026年12月7日, and the era forms R8.12.7 /
// 令和8年12月7日 (H for 平成).
std::optional<QDate> date(const QString& text);

} // namespace ImportValues
