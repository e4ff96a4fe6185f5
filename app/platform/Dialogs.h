#pragma once
#include <QString>
#include <optional>

class QWidget;

// Every message box, input box and question of the program goes through this
// interface, so that tests can answer them with a scripted fake.
class Dialogs {
public:
    enum class Icon { None, Information, Warning, Critical };
    enum class Answer { Yes, No, Cancel };

    virtual ~Dialogs() = default;
    // A message with an OK button; an empty title means the program's title.
    virtual void message(QWidget* parent, const QString& text, const QString& title = {},
                         Icon icon = Icon::None) = 0;
    // An input box; nullopt when it was cancelled.
    virtual std::optional<QString> input(QWidget* parent, const QString& prompt,
                                         const QString& title = {},
                                         const QString& defaultText = {}) = 0;
    // A Yes / No / Cancel question.
    virtual Answer question(QWidget* parent, const QString& text, const QString& title = {}) = 0;
    // The name of a file to write, starting from `suggested` (a path);
    // nullopt when cancelled. `filter` as "CSVファイル (*.csv)": a name
    // typed without an extension gets the filter's.
    virtual std::optional<QString> saveFileName(QWidget* parent, const QString& title,
                                                const QString& suggested,
                                                const QString& filter) = 0;
    // The name of an existing file to read; nullopt when cancelled.
    virtual std::optional<QString> openFileName(QWidget* parent, const QString& title,
                                                const QString& filter) = 0;

    static QString programTitle() { return QStringLiteral("Tamroc"); }
};

// The dialogs in use; the real ones unless a test installed others.
Dialogs& dialogs();
// Installs `d` (not owned); nullptr returns to the real dialogs.
void setDialogs(Dialogs* d);

// Shorthand for the common OK message with the program's title.
inline void msgBox(QWidget* parent, const QString& text) {
    dialogs().message(parent, text);
}
