#pragma once
#include <QWidget>

class QLabel;

// The splash window shown while the program starts.
class frmTitle : public QWidget {
    Q_OBJECT
public:
    explicit frmTitle(QWidget* parent = nullptr);
    QLabel* lblTitle;
    QLabel* Label1;
};
