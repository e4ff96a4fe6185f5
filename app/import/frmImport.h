#pragma once
#include "ImportPlan.h"

#include <QByteArray>
#include <QWidget>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

// The window between the file question and the rows in the grid: it shows
// how the statement's first lines would enter the table and lets the user
// choose the encoding, the separator, the lines to skip, the header and the
// field of each column. 取り込む hands the chosen rows over and remembers the
// settings for the table and files of as many fields.
class frmImport : public QWidget {
    Q_OBJECT
public:
    struct Table {
        int tableNum = 0;
        QString iniPath;
        QList<ImportColumn> columns;
        // The rows already in the grid, one text per column.
        std::function<QList<QStringList>()> gridRows;
        // The columns of a row that the table's checks would refuse.
        std::function<QList<int>(const QStringList& texts)> check;
    };
    static constexpr int PreviewRows = 50;

    frmImport(QWidget* parent, Table table, QByteArray bytes, const QString& fileName);

    // The rows 取り込む would hand over.
    QList<QStringList> chosenRows() const;
    const QList<PlannedRow>& plannedRows() const { return mRows; }

    QComboBox* cmbEncoding;
    QComboBox* cmbSeparator;
    QSpinBox* spnSkip;
    QCheckBox* chkHeader;
    QList<QComboBox*> cmbFields; // one per column
    QTableWidget* grdPreview;
    QLabel* lblStatus;
    QPushButton* cmdImport;
    QPushButton* cmdCancel;

signals:
    void imported(const QList<QStringList>& rows);

private:
    void readFile();     // decodes with the chosen encoding and separator
    void replan();       // rows from the current choices
    void fillFieldChoices();
    ImportSettings current() const;
    void showPreview();
    void importRows();

    Table mTable;
    QByteArray mBytes;
    CsvReader::File mFile;
    QList<PlannedRow> mRows;
    QSet<int> mTicked, mUnticked; // lines the user ticked or unticked
    bool mFilling = false;
};
