#pragma once
#include <QWidget>

class QLabel;

// The summary window of one table. Several may be open for the same table,
// told apart by their sequence number.
class frmSum : public QWidget {
    Q_OBJECT
public:
    explicit frmSum(QWidget* parent = nullptr);
    qint16 mTableNum = 0;
    qint16 mSameTblNum = 1;
    void Form_Load();

private:
    QLabel* mNote;
};
