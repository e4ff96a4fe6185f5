#pragma once
#include <QApplication>
#include <QWidget>
#include <QKeyEvent>
#include <QString>

// Types text as a keyboard would: each character, with its press and release,
// goes to the widget that has the focus at that moment (QTest's key clicks
// only take Latin-1 and always go to one widget).
inline void typeText(const QString& text) {
    for (const QChar ch : text) {
        QWidget* w = QApplication::focusWidget();
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &release);
    }
}
