#pragma once
#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;

// The main menu: choose a table, then edit it or total it. Closing it ends
// the program.
class frmSelect : public QWidget {
    Q_OBJECT
public:
    explicit frmSelect(QWidget* parent = nullptr);
    ~frmSelect() override;

    // The one main menu while it exists.
    static frmSelect* instance();

    // Written by each editor when it is asked to close: False when the user
    // cancelled the closing.
    void setEndFlag(bool blEndFlag) { mEndFlag = blEndFlag; }
    bool EndFlag() const { return mEndFlag; }

    void Form_Load();
    void cmdShow_Click();
    void cmdSum_Click();
    void cmdEnd_Click();
    void cmdRestore_Click();
    // Lets every editor close, then unloads every window. False when an
    // editor was kept open by its user: nothing is unloaded then.
    bool UnloadAllForms();

    // The sequence number for a new summary window of `table`, given the Tag
    // texts of the loaded windows.
    static int FreeSummaryNumber(const QStringList& tags, int table);

    QLabel* lblselect;
    QComboBox* cmbTbl;
    QPushButton* cmdShow;
    QPushButton* cmdSum;
    QPushButton* cmdEnd;
    QPushButton* cmdRestore;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // False, after saying so, while the empty entry is chosen.
    bool tableChosen();
    bool mEndFlag = true;
};
