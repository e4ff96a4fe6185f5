#include "FormsRegistry.h"

#include <QVariant>

namespace {
QList<QPointer<QWidget>>& registry() {
    static QList<QPointer<QWidget>> list;
    return list;
}
} // namespace

namespace Forms {

void add(QWidget* form) {
    if (!form) return;
    for (const auto& p : registry())
        if (p == form) return;
    registry().append(form);
    QObject::connect(form, &QObject::destroyed, [form] { remove(form); });
}

void remove(QWidget* form) {
    auto& list = registry();
    for (int i = list.size() - 1; i >= 0; --i)
        if (list[i].isNull() || list[i].data() == form) list.removeAt(i);
}

QList<QWidget*> all() {
    QList<QWidget*> out;
    for (const auto& p : registry())
        if (p) out << p.data();
    return out;
}

QString tag(const QWidget* form) {
    return form ? form->property("Tag").toString() : QString();
}

void setTag(QWidget* form, const QString& t) {
    form->setProperty("Tag", t);
}

QWidget* findByTag(const QString& t) {
    for (QWidget* w : all())
        if (tag(w) == t) return w;
    return nullptr;
}

} // namespace Forms
