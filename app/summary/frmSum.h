#pragma once
#include "Catalog.h"
#include "RngSelOwner.h"
#include "SumChart.h"
#include "SumPresetsOwner.h"
#include "SumSql.h"

#include <QPointer>
#include <QRect>
#include <QWidget>
#include <optional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class frmRngSel;
class frmSelSum;
class frmSelType;
class frmSumChart;
class frmSumExa;
class usrFlg;

// The summary window of one table: the column to total, the classification
// columns and the condition, the statement built from them, and the result
// grid. Several may be open for the same table, told apart by their
// sequence number; each owns its own pickers, condition editor and presets
// window, which report back through the public members below.
class frmSum : public QWidget, public RngSelOwner, public SumPresetsOwner {
    Q_OBJECT
public:
    explicit frmSum(QWidget* parent = nullptr);
    ~frmSum() override;

    qint16 mTableNum = 0;
    qint16 mSameTblNum = 1;

    // ---- called by the child windows ----
    QString RetmStrFrTbls_data(int intArg) const override;
    int RetmStrFrTbls_ubound() const override;
    void ReturnSumSetting(int& intSumCol, QString& strJpSql, QString& strSql) override;
    void SetSumSetting(const QList<int>& intTyps, int intSumCol, const QString& strJpSql,
                       const QString& strSql, const QStringList& strTbls) override;
    void PutSumCol(int intColNum);
    // False when the column cannot be added (the user has been told why).
    bool TypesAdd(const QString& strJpNames, int intCols);
    void TypesClear();
    void PutSQLWhere(const QString& strJpSql, const QString& strSql,
                     const QStringList& strTbls) override;
    QList<int> TypeColumns() const override;

    // Loads the table's columns and shows the window; false when the table
    // cannot be totalled (the user has been told why). The main menu sets
    // mTableNum, mSameTblNum and the Tag first.
    bool Form_Load();
    // Builds the statement from the settings into txtCond.
    void MakeSumSql();
    // Runs `statement` and shows its groups; a statement the database
    // rejects is reported and the grid keeps its last result. True when the
    // grid shows the new result.
    bool ExecSumSql(const QString& statement);

    void cmdStart_Click();
    void CmdRangeCng_Click();
    void cmdSumCng_Click();
    void cmdTypeCng_Click();
    void cmdTemp_Click();
    // The last result as a bar chart, in a window that follows each new run.
    void cmdGraph_Click();
    // The result grid as shown, to a CSV file.
    void cmdCsv_Click();
    // The chart of the last result.
    SumChartData chartData() const;

    // For the children, the main menu and tests.
    const ColumnDefs& columns() const { return mColumns; }
    int sumColumn() const { return intSumCol; }
    usrFlg* grid() const { return mGrid; }
    // The last result as plain values; none before the first run.
    const std::optional<SumRows>& result() const { return mRows; }
    frmRngSel* rangeSelector() const;
    frmSelSum* sumPicker() const;
    frmSelType* typePicker() const;
    frmSumExa* presetsWindow() const;
    frmSumChart* chartWindow() const;

    // Where the grid goes, in twips, for the window's outer size: below
    // txtCond, filling the rest, never of a negative size.
    static QRect gridRectTwips(int formWidth, int formHeight, int condBottom);

protected:
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void InitRngSel();
    void Form_Resize();
    void Form_Unload();
    SumSettings settings() const;
    // Why the database cannot serve classification column `column`; empty
    // when it can.
    QString missingForeign(int column) const;
    void showJpSql(const QString& text);
    QRect twipsRect(int left, int top, int width, int height) const;

    QScrollArea* mScroll;
    QWidget* mBody;
    QLabel* lblRange;
    QPlainTextEdit* txtRng;
    QPushButton* CmdRangeCng;
    QPushButton* cmdTemp;
    QLabel* lblTypes;
    QListWidget* lstType;
    QPushButton* cmdTypeCng;
    QLabel* lblSumType;
    QLineEdit* txtSumType;
    QPushButton* cmdSumCng;
    QPushButton* cmdStart;
    QPushButton* cmdGraph;
    QPushButton* cmdCsv;
    QPlainTextEdit* txtCond;
    usrFlg* mGrid;
    QLabel* lblTotal;

    QSize mDesignSize;
    ColumnDefs mColumns;
    ColumnDefs mForeignColumns;
    QPointer<frmRngSel> mRngSel;
    QPointer<frmSelType> mSelType;
    QPointer<frmSelSum> mSelSum;
    QPointer<frmSumExa> mSumExa;
    QPointer<frmSumChart> mChart;
    // The last result shown, and what it totals; none before the first run.
    std::optional<SumResult> mResult;
    std::optional<SumRows> mRows;
    QString mResultTitle;
    QString mResultColumn; // the totalled column's name in the last result
    QString strSql;
    QStringList strTbls{QString()};
    int intSumCol = 0;
    QString mJpSql;     // the condition as the editor handed it over
    QString mStatement; // what txtCond shows when it shows a statement
    QString mRefusal;   // why the settings give no statement to run; empty when they do
    bool mLoaded = false;
    int mQuietBuilds = 0; // while a preset is put in, only its last build counts
};
