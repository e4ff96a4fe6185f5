#pragma once
#include <QObject>

class QWidget;

// What a window tells the program without knowing who listens: the windows
// below the main menu announce here, and the main menu subscribes.
class ProgramEvents : public QObject {
    Q_OBJECT
public:
    static ProgramEvents& instance();

signals:
    // An editor asked to close has answered: false when its user kept it
    // open, which cancels an end of the program in progress.
    void editorCloseAnswered(bool closing);
    // An editor is about to write to the book (the day's backup is made then).
    void bookAboutToBeSaved(QWidget* editor);
};
