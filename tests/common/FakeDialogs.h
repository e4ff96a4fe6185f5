#pragma once
#include "Dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>

// Answers the program's dialogs from a script and records what was asked.
class FakeDialogs : public Dialogs {
public:
    struct Shown {
        QString kind; // "message", "input", "question"
        QString text;
        QString title;
        Icon icon = Icon::None;
    };
    QList<Shown> shown;
    QList<std::optional<QString>> inputAnswers;
    QList<Answer> questionAnswers;
    QList<std::optional<QString>> fileAnswers;

    FakeDialogs() { setDialogs(this); }
    ~FakeDialogs() override { setDialogs(nullptr); }

    void message(QWidget*, const QString& text, const QString& title, Icon icon) override {
        shown.append(
            {QStringLiteral("message"), text, title.isEmpty() ? programTitle() : title, icon});
    }
    std::optional<QString> input(QWidget*, const QString& prompt, const QString& title,
                                 const QString&) override {
        shown.append({QStringLiteral("input"), prompt, title.isEmpty() ? programTitle() : title});
        return inputAnswers.isEmpty() ? std::nullopt : inputAnswers.takeFirst();
    }
    Answer question(QWidget*, const QString& text, const QString& title) override {
        shown.append({QStringLiteral("question"), text, title.isEmpty() ? programTitle() : title});
        return questionAnswers.isEmpty() ? Answer::Cancel : questionAnswers.takeFirst();
    }
    // The text recorded is the suggested path.
    std::optional<QString> saveFileName(QWidget*, const QString& title, const QString& suggested,
                                        const QString&) override {
        shown.append(
            {QStringLiteral("saveFile"), suggested, title.isEmpty() ? programTitle() : title});
        return fileAnswers.isEmpty() ? std::nullopt : fileAnswers.takeFirst();
    }

    // The text recorded is the title.
    std::optional<QString> openFileName(QWidget*, const QString& title, const QString&) override {
        shown.append({QStringLiteral("openFile"), title, programTitle()});
        return fileAnswers.isEmpty() ? std::nullopt : fileAnswers.takeFirst();
    }
    QStringList messages() const {
        QStringList out;
        for (const auto& s : shown)
            if (s.kind == QLatin1String("message")) out << s.text;
        return out;
    }
    void clear() { shown.clear(); }
};
