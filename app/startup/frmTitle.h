#pragma once
#include <QWidget>

class QLabel;

// The splash window shown while the program starts.
class frmTitle : public QWidget {
    Q_OBJECT
public:
    explicit frmTitle(QWidget* parent = nullptr);
    // A line below the title, for what the start-up has to say once.
    void showNotice(const QString& text);
    QLabel* lblTitle;
    QLabel* Label1;
};
