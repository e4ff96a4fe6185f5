#pragma once
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

// The program's collection of loaded windows, in load order, each with its
// Tag text. Windows register themselves when they are created and leave the
// collection when they are destroyed.
namespace Forms {
void add(QWidget* form);
void remove(QWidget* form);
QList<QWidget*> all();
QString tag(const QWidget* form);
void setTag(QWidget* form, const QString& tag);
// The first loaded window whose Tag equals `tag`, or nullptr.
QWidget* findByTag(const QString& tag);
} // namespace Forms
