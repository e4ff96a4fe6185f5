#include "Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace {
// A dialog shown in the middle of a long operation gets the normal pointer.
struct ArrowWhileAsking {
    ArrowWhileAsking() { QApplication::setOverrideCursor(Qt::ArrowCursor); }
    ~ArrowWhileAsking() { QApplication::restoreOverrideCursor(); }
};

class RealDialogs final : public Dialogs {
public:
    void message(QWidget* parent, const QString& text, const QString& title, Icon icon) override {
        QMessageBox box(parent);
        box.setWindowTitle(title.isEmpty() ? programTitle() : title);
        box.setText(text);
        switch (icon) {
        case Icon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case Icon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case Icon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case Icon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
        }
        box.setStandardButtons(QMessageBox::Ok);
        ArrowWhileAsking arrow;
        box.exec();
    }
    std::optional<QString> input(QWidget* parent, const QString& prompt, const QString& title,
                                 const QString& defaultText) override {
        bool ok = false;
        ArrowWhileAsking arrow;
        const QString s = QInputDialog::getText(parent, title.isEmpty() ? programTitle() : title,
                                                prompt, QLineEdit::Normal, defaultText, &ok);
        if (!ok) return std::nullopt;
        return s;
    }
    Answer question(QWidget* parent, const QString& text, const QString& title) override {
        ArrowWhileAsking arrow;
        const auto b = QMessageBox::question(
            parent, title.isEmpty() ? programTitle() : title, text,
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
        if (b == QMessageBox::Yes) return Answer::Yes;
        if (b == QMessageBox::No) return Answer::No;
        return Answer::Cancel;
    }
    std::optional<QString> saveFileName(QWidget* parent, const QString& title,
                                        const QString& suggested, const QString& filter) override {
        // a file name in `suggested` is offered selected
        QFileDialog dlg(parent, title.isEmpty() ? programTitle() : title, suggested, filter);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setFileMode(QFileDialog::AnyFile);
        // "(*.csv)" gives "csv"
        const qsizetype star = filter.indexOf(QLatin1String("*."));
        if (star >= 0) {
            qsizetype end = star + 2;
            while (end < filter.size() && filter[end].isLetterOrNumber())
                ++end;
            dlg.setDefaultSuffix(filter.mid(star + 2, end - star - 2));
        }
        ArrowWhileAsking arrow;
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
        return dlg.selectedFiles().constFirst();
    }
    std::optional<QString> openFileName(QWidget* parent, const QString& title,
                                        const QString& filter) override {
        QFileDialog dlg(parent, title.isEmpty() ? programTitle() : title, QString(), filter);
        dlg.setAcceptMode(QFileDialog::AcceptOpen);
        dlg.setFileMode(QFileDialog::ExistingFile);
        ArrowWhileAsking arrow;
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
        return dlg.selectedFiles().constFirst();
    }
};

RealDialogs realDialogs;
Dialogs* current = nullptr;
} // namespace

Dialogs& dialogs() {
    return current ? *current : realDialogs;
}
void setDialogs(Dialogs* d) {
    current = d;
}
