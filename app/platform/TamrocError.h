#pragma once
#include <QString>
#include <stdexcept>

// A failure inside the program that a window's entry point catches and shows.
class TamrocError : public std::runtime_error {
public:
    explicit TamrocError(const QString& text)
        : std::runtime_error(text.toStdString()), mText(text) {}
    QString text() const { return mText; }

private:
    QString mText;
};

// The platform's "type mismatch": a text where a number was expected.
inline TamrocError typeMismatch(const QString& what) {
    return TamrocError(QStringLiteral("型が一致しません：%1").arg(what));
}
