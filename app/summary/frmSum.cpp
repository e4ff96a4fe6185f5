#include "frmSum.h"
#include "CsvWriter.h"
#include "Dialogs.h"
#include "ExportFile.h"
#include "FormsRegistry.h"
#include "FullWidth.h"
#include "Guarded.h"
#include "ScreenFit.h"
#include "UiFont.h"
#include "WaitCursor.h"
#include "frmRngSel.h"
#include "frmSelSum.h"
#include "frmSelType.h"
#include "frmSumChart.h"
#include "frmSumExa.h"
#include "modMorvi.h"
#include "usrFlg.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <algorithm>

using namespace modMorvi;

namespace {
// The window as designed, in twips: its client area, and the frame that the
// resize rule counts in (border and caption of the designed window).
constexpr int DesignWidth = 10455;
constexpr int DesignHeight = 7080;
constexpr int FrameWidth = 120;
constexpr int FrameHeight = 465;

QLabel* label(QWidget* parent, const char* name, const QString& text, const QString& tip) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setToolTip(tip);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
}

QPushButton* button(QWidget* parent, const char* name, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(true); // Return presses the button that has the focus
    return b;
}

QPlainTextEdit* textBox(QWidget* parent, const char* name) {
    // Set by the window only: it can be selected and copied, not changed,
    // so that what runs is always a statement the window built.
    auto* t = new QPlainTextEdit(parent);
    t->setObjectName(QLatin1String(name));
    t->setReadOnly(true);
    t->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    t->setTabChangesFocus(true);
    return t;
}

const QString RangeTip = QStringLiteral("指定条件に当てはまるデータの範囲で合計を出します。");
const QString TypesTip =
    QStringLiteral("項目毎の詳細な合計を求めたい場合、どの項目を表示するかを指定します。");
const QString SumTypeTip = QStringLiteral("集計する項目(金額など)を選択します。");
} // namespace

frmSum::frmSum(QWidget* parent) : QWidget(parent, Qt::Window) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("frmSum"));
    setFont(uiFont());
    setWindowTitle(QStringLiteral("集計選択"));

    // The controls stand where they were designed, on a body that scrolls
    // when the window is smaller than they need (a small or scaled screen).
    mScroll = new QScrollArea(this);
    mScroll->setObjectName(QStringLiteral("scrollBody"));
    mScroll->setFrameShape(QFrame::NoFrame);
    mScroll->setWidgetResizable(true);
    mBody = new QWidget(mScroll);
    mBody->setObjectName(QStringLiteral("body"));
    mBody->setFont(uiFont()); // the captions are measured in the font they are shown in
    lblRange = label(mBody, "lblRange", QStringLiteral("集計対象項目の指定"), RangeTip);
    txtRng = textBox(mBody, "txtRng");
    txtRng->setToolTip(RangeTip);
    CmdRangeCng = button(mBody, "CmdRangeCng", QStringLiteral("変更"));
    cmdTemp = button(mBody, "cmdTemp", QStringLiteral("定番の合計方法をセット"));
    lblTypes = label(mBody, "lblTypes", QStringLiteral("分類して表示する項目の指定"), TypesTip);
    lstType = new QListWidget(mBody);
    lstType->setObjectName(QStringLiteral("lstType"));
    cmdTypeCng = button(mBody, "cmdTypeCng", QStringLiteral("変更"));
    lblSumType = label(mBody, "lblSumType", QStringLiteral("集計対象の項目"), SumTypeTip);
    txtSumType = new QLineEdit(mBody);
    txtSumType->setObjectName(QStringLiteral("txtSumType"));
    txtSumType->setReadOnly(true);
    txtSumType->setToolTip(SumTypeTip);
    cmdSumCng = button(mBody, "cmdSumCng", QStringLiteral("変更"));
    cmdStart = button(mBody, "cmdStart", QStringLiteral("集計開始！"));
    // what can be done with a result, beside the button that gives one
    cmdGraph = button(mBody, "cmdGraph", QStringLiteral("グラフ"));
    cmdCsv = button(mBody, "cmdCsv", CsvExportCaption);
    cmdGraph->setEnabled(false);
    cmdCsv->setEnabled(false);
    txtCond = textBox(mBody, "txtCond");
    mGrid = new usrFlg(mBody);
    mGrid->setObjectName(QStringLiteral("usrFlg"));
    // totals are read, copied and exported, never typed over
    mGrid->setReadOnly(true);

    lblTotal = new QLabel(mBody);
    lblTotal->setObjectName(QStringLiteral("lblTotal"));
    lblTotal->setTextFormat(Qt::PlainText);

    // The designed places in twips; each control grows to its caption in
    // the font used, pushing the ones beside and below it along.
    struct Designed {
        QWidget* w;
        int left, top, width, height;
    };
    const Designed designed[] = {
        {lblRange, 180, 180, 1620, 600},     {txtRng, 1860, 60, 5535, 1275},
        {CmdRangeCng, 7380, 60, 375, 1275},  {cmdTemp, 9420, 1080, 975, 795},
        {lblTypes, 120, 1500, 1680, 600},    {lstType, 1860, 1440, 1995, 1140},
        {cmdTypeCng, 3840, 1440, 435, 1155}, {lblSumType, 4500, 1560, 1500, 375},
        {txtSumType, 6060, 1500, 1755, 375}, {cmdSumCng, 7800, 1500, 555, 435},
        {cmdStart, 8460, 2880, 1875, 795},   {cmdGraph, 6960, 2880, 1380, 795},
        {cmdCsv, 8460, 3750, 1875, 495},     {txtCond, 120, 3120, 6675, 1215},
    };
    QList<QWidget*> controls;
    QList<QRect> rects;
    for (const Designed& d : designed) {
        controls << d.w;
        rects << twipsRect(d.left, d.top, d.width, d.height);
    }
    const QPoint corner = placeGrown(controls, rects);
    mDesignSize =
        QSize(std::max(DesignWidth * logicalDpiX() / 1440, corner.x() + 120 * logicalDpiX() / 1440),
              DesignHeight * logicalDpiY() / 1440);
    // below the statement, room for the grand total at least
    mBody->setMinimumSize(corner.x() + 120 * logicalDpiX() / 1440,
                          txtCond->y() + txtCond->height() + lblTotal->sizeHint().height() + 8);
    mScroll->setWidget(mBody);
    mBody->installEventFilter(this);
    resize(mDesignSize);
    // the keyboard goes through the controls as they stand, row by row
    const QList<QWidget*> order = {txtRng,     CmdRangeCng, cmdTemp,   lstType,
                                   cmdTypeCng, txtSumType,  cmdSumCng, cmdGraph,
                                   cmdStart,   cmdCsv,      txtCond,   mGrid};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    fitOnShow(this);

    auto on = [this](QPushButton* b, void (frmSum::*handler)()) {
        connect(b, &QPushButton::clicked, this,
                [this, handler] { guarded(this, [&] { (this->*handler)(); }); });
    };
    on(cmdStart, &frmSum::cmdStart_Click);
    on(CmdRangeCng, &frmSum::CmdRangeCng_Click);
    on(cmdSumCng, &frmSum::cmdSumCng_Click);
    on(cmdTypeCng, &frmSum::cmdTypeCng_Click);
    on(cmdTemp, &frmSum::cmdTemp_Click);
    on(cmdGraph, &frmSum::cmdGraph_Click);
    on(cmdCsv, &frmSum::cmdCsv_Click);
    Forms::add(this);
}

frmSum::~frmSum() {
    // The children go while this window is still whole: they may call back
    // into it as they end.
    Form_Unload();
}

frmRngSel* frmSum::rangeSelector() const {
    return mRngSel;
}
frmSelSum* frmSum::sumPicker() const {
    return mSelSum;
}
frmSelType* frmSum::typePicker() const {
    return mSelType;
}
frmSumExa* frmSum::presetsWindow() const {
    return mSumExa;
}
frmSumChart* frmSum::chartWindow() const {
    return mChart;
}

QRect frmSum::twipsRect(int left, int top, int width, int height) const {
    const double x = logicalDpiX() / 1440.0, y = logicalDpiY() / 1440.0;
    return QRect(qRound(left * x), qRound(top * y), qRound(width * x), qRound(height * y));
}

// ---- loading -------------------------------------------------------------

bool frmSum::Form_Load() {
    bool ok = false;
    guarded(this, [&] {
        strSql.clear();
        strTbls = QStringList{QString()};
        const QString section = objPublic->TableSection(mTableNum);
        QString caption = QStringLiteral("集計選択") + QStringLiteral("( ") +
                          GetTableJPName(section) + QStringLiteral(" )");
        if (mSameTblNum > 1) caption += toFullWidthDigits(mSameTblNum);
        setWindowTitle(caption);
        lstType->clear();
        // The catalog has told the user what is wrong; a window without its
        // columns could not work.
        if (LoadColumnDefs(mTableNum, mColumns, mForeignColumns) != 0) return;
        // A name the database lacks is told with its INI key now, not as a
        // refused statement once the user classifies by that column.
        // A foreign table is checked when a choice needs it: nothing of the
        // table itself depends on it.
        if (const QString wrong =
                CheckColumnsInDatabase(section, mColumns, mForeignColumns, ForeignTables::None);
            !wrong.isEmpty()) {
            msgBox(this, wrong);
            return;
        }
        intSumCol = defaultSumColumn(section, mColumns);
        txtSumType->setText(intSumCol > 0 ? mColumns[intSumCol].JPName : QString());
        showJpSql(QString());
        mLoaded = true;
        MakeSumSql();
        ok = true;
    });
    if (!ok) {
        close();
        return false;
    }
    show();
    return true;
}

SumSettings frmSum::settings() const {
    SumSettings s;
    s.table = objPublic ? objPublic->TableSection(mTableNum) : QString();
    s.columns = &mColumns;
    s.sumCol = intSumCol;
    s.types = TypeColumns();
    s.sql = strSql;
    s.tables = strTbls;
    return s;
}

void frmSum::MakeSumSql() {
    if (mQuietBuilds > 0 || !mLoaded) return;
    const SumStatement st = ::MakeSumSql(settings());
    switch (st.status) {
    case SumStatement::Built:
        mStatement = st.text;
        mRefusal.clear();
        txtCond->setPlainText(st.text);
        break;
    case SumStatement::NotNumeric:
        // the last statement stays on view, but it no longer matches the
        // settings shown: it is not run
        mRefusal = st.text;
        msgBox(this, st.text);
        break;
    case SumStatement::NoColumn:
        mStatement.clear();
        mRefusal = st.text;
        txtCond->setPlainText(st.text);
        break;
    }
}

bool frmSum::ExecSumSql(const QString& statement) {
    WaitCursor wait;
    const SumSettings s = settings();
    try {
        mRows = ::ExecSumSql(objDB, statement, s);
    } catch (const std::exception& e) {
        msgBox(this, QStringLiteral("集計できませんでした。\n") + QString::fromStdString(e.what()));
        return false;
    }
    fillSumGrid(*mRows, s, *mGrid);
    lblTotal->setText(QStringLiteral("総計：") + totalText(mRows->grandTotal()));
    // the result the chart and the export take
    mResult = sumResultFromRows(*mRows);
    mResultColumn = intSumCol > 0 ? mColumns[intSumCol].JPName : QString();
    mResultTitle = GetTableJPName(objPublic->TableSection(mTableNum)) + QStringLiteral("：") +
                   mResultColumn + QStringLiteral("の合計");
    cmdGraph->setEnabled(true);
    cmdCsv->setEnabled(true);
    if (mChart && mChart->isVisible()) mChart->ShowChart(chartData());
    return true;
}

// ---- public members for the children --------------------------------------

QString frmSum::RetmStrFrTbls_data(int intArg) const {
    return intArg >= 0 && intArg < strTbls.size() ? strTbls[intArg] : QString();
}

int frmSum::RetmStrFrTbls_ubound() const {
    return static_cast<int>(strTbls.size()) - 1;
}

void frmSum::ReturnSumSetting(int& intSumColOut, QString& strJpSql, QString& strSqlOut) {
    // a condition still being typed is taken over first
    if (mRngSel) mRngSel->ForceSetSql();
    intSumColOut = intSumCol;
    strJpSql = mJpSql;
    strSqlOut = strSql;
}

void frmSum::SetSumSetting(const QList<int>& intTyps, int intSumColArg, const QString& strJpSql,
                           const QString& strSqlArg, const QStringList& strTbls) {
    const bool noTypes = intTyps.size() == 1 && intTyps.first() == -1;
    const QList<int> types = noTypes ? QList<int>() : intTyps;
    // A preset that names a column this table lacks (the catalog changed
    // since it was stored) is refused whole: half of it would total
    // something the user did not ask for.
    for (int c : types + QList<int>{intSumColArg}) {
        if (c < 1 || c >= mColumns.size()) {
            msgBox(this, QStringLiteral("この集計方法はテーブルにない項目（列番号 %1）を使って"
                                        "いるため、セットできません。")
                             .arg(c));
            return;
        }
    }
    for (int c : types) {
        if (const QString wrong = missingForeign(c); !wrong.isEmpty()) {
            msgBox(this, QStringLiteral("この集計方法はセットできません。\n") + wrong);
            return;
        }
    }
    // The stored condition must still say what it said when it was stored:
    // a condition naming a column the catalog no longer has is refused.
    if (!strJpSql.trimmed().isEmpty()) {
        if (!mRngSel) InitRngSel();
        if (const SqlWhere w = mRngSel->translate(strJpSql); !w.message.isEmpty()) {
            msgBox(this, QStringLiteral("この集計方法の条件は今のテーブルでは使えないため、"
                                        "セットできません。\n") +
                             w.message);
            return;
        }
    }
    {
        // only the statement of the whole preset is built (and any message
        // about it shown once)
        ++mQuietBuilds;
        struct Loud {
            int& n;
            ~Loud() { --n; }
        } loud{mQuietBuilds};
        lstType->clear();
        for (int c : types)
            TypesAdd(mColumns[c].JPName, c);
        intSumCol = intSumColArg;
        txtSumType->setText(mColumns[intSumCol].JPName);
        showJpSql(strJpSql);
        strSql = strSqlArg;
        if (!mRngSel) InitRngSel();
        mRngSel->SetJpSql(strJpSql);
        // the stored condition wins over the editor's own translation
        showJpSql(strJpSql);
        strSql = strSqlArg;
        this->strTbls = strTbls.isEmpty() ? QStringList{QString()} : strTbls;
    }
    intSumCol = intSumColArg;
    MakeSumSql();
}

void frmSum::PutSumCol(int intColNum) {
    if (intColNum < 1 || intColNum >= mColumns.size()) return;
    intSumCol = intColNum;
    txtSumType->setText(mColumns[intSumCol].JPName);
    MakeSumSql();
}

bool frmSum::TypesAdd(const QString& strJpNames, int intCols) {
    if (intCols < 1 || intCols >= mColumns.size()) return false;
    for (int i = 0; i < lstType->count(); ++i)
        if (lstType->item(i)->data(Qt::UserRole).toInt() == intCols) return true;
    if (const QString wrong = missingForeign(intCols); !wrong.isEmpty()) {
        msgBox(this, wrong);
        return false;
    }
    auto* item = new QListWidgetItem(strJpNames, lstType);
    item->setData(Qt::UserRole, intCols);
    MakeSumSql();
    return true;
}

QString frmSum::missingForeign(int column) const {
    if (column < 1 || column >= mColumns.size() || !IsForeignColumn(mColumns[column]))
        return QString();
    return CheckForeignColumnInDatabase(objPublic->TableSection(mTableNum), mColumns, column);
}

void frmSum::TypesClear() {
    lstType->clear();
    MakeSumSql();
}

void frmSum::PutSQLWhere(const QString& strJpSql, const QString& strSqlArg,
                         const QStringList& strTblsArg) {
    strSql = strSqlArg;
    strTbls = strTblsArg.isEmpty() ? QStringList{QString()} : strTblsArg;
    showJpSql(strJpSql);
    MakeSumSql();
}

QList<int> frmSum::TypeColumns() const {
    QList<int> out;
    out.reserve(lstType->count());
    for (int i = 0; i < lstType->count(); ++i)
        out << lstType->item(i)->data(Qt::UserRole).toInt();
    return out;
}

void frmSum::showJpSql(const QString& text) {
    mJpSql = text;
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    txtRng->setPlainText(shown);
}

// ---- buttons ---------------------------------------------------------------

void frmSum::cmdStart_Click() {
    // a condition still being typed is taken over (and the statement
    // rebuilt) before the run; one that does not translate runs nothing
    if (mRngSel) {
        const std::optional<QString> message = mRngSel->ForceSetSql();
        if (!message) return;
        if (!message->isEmpty()) {
            msgBox(this, *message);
            return;
        }
    }
    if (!mRefusal.isEmpty()) {
        msgBox(this, mRefusal);
        return;
    }
    if (mStatement.isEmpty()) return;
    ExecSumSql(mStatement);
}

void frmSum::InitRngSel() {
    if (!mRngSel) mRngSel = new frmRngSel(this);
    mRngSel->mTableNum = mTableNum;
    mRngSel->mSameTblNum = mSameTblNum;
    mRngSel->SetSqlStr(QString());
    mRngSel->SetParent(this);
}

namespace {
void bringUp(QWidget* w) {
    w->show();
    w->raise();
    w->activateWindow();
}
} // namespace

void frmSum::CmdRangeCng_Click() {
    InitRngSel();
    bringUp(mRngSel);
}

void frmSum::cmdSumCng_Click() {
    if (!mSelSum) mSelSum = new frmSelSum(this);
    mSelSum->SetTblNum(mTableNum, mSameTblNum);
    mSelSum->SetParentFrm(this);
    bringUp(mSelSum);
}

void frmSum::cmdTypeCng_Click() {
    if (!mSelType) mSelType = new frmSelType(this);
    mSelType->SetTblNum(mTableNum, mSameTblNum);
    mSelType->SetParentFrm(this);
    bringUp(mSelType);
}

SumChartData frmSum::chartData() const {
    if (!mResult) return SumChartData();
    SumChartData d = buildSumChart(*mResult, mResultTitle);
    d.valueName = mResultColumn;
    d.yen = isAmountName(mResultColumn);
    return d;
}

void frmSum::cmdGraph_Click() {
    if (!mResult) return;
    if (!mChart) mChart = new frmSumChart(this);
    WaitCursor wait;
    mChart->ShowChart(chartData());
    bringUp(mChart);
}

void frmSum::cmdCsv_Click() {
    if (!mRows) return;
    mGrid->CloseEditor(true);
    const SumRows rows = *mRows;
    exportCsv(this, mResultTitle, [&](CsvWriter& csv) { addSumRows(csv, rows); });
}

void frmSum::cmdTemp_Click() {
    if (!mSumExa) mSumExa = new frmSumExa(this);
    mSumExa->SetTblNumFrm(mTableNum, mSameTblNum, this);
    bringUp(mSumExa);
}

// ---- size and end ----------------------------------------------------------

QRect frmSum::gridRectTwips(int formWidth, int formHeight, int condBottom) {
    const int left = 180;
    const int top = condBottom + 60;
    const int height = std::max(0, formHeight - (condBottom + 200) - 400);
    const int width = std::max(0, formWidth - 4 * left);
    return QRect(left, top, width, height);
}

void frmSum::Form_Resize() {
    const double x = logicalDpiX() / 1440.0, y = logicalDpiY() / 1440.0;
    const int condBottom = qRound((txtCond->y() + txtCond->height()) / y);
    const QRect r = gridRectTwips(qRound(mBody->width() / x) + FrameWidth,
                                  qRound(mBody->height() / y) + FrameHeight, condBottom);
    // the grand total stands below the grid, in the room the design leaves there
    const int totalHeight = lblTotal->sizeHint().height();
    const int gridHeight = std::max(
        0, std::min(qRound(r.height() * y), mBody->height() - qRound(r.y() * y) - totalHeight - 4));
    mGrid->setGeometry(qRound(r.x() * x), qRound(r.y() * y), qRound(r.width() * x), gridHeight);
    lblTotal->setGeometry(mGrid->x(), mGrid->y() + gridHeight + 2, std::max(mGrid->width(), 1),
                          totalHeight);
}

bool frmSum::eventFilter(QObject* watched, QEvent* e) {
    if (watched == mBody && e->type() == QEvent::Resize) Form_Resize();
    return QWidget::eventFilter(watched, e);
}

void frmSum::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    mScroll->setGeometry(rect());
}

void frmSum::Form_Unload() {
    // Each child is ended for good (the user's close only hides them) and
    // dropped; the pointers forget it.
    if (frmRngSel* w = mRngSel) {
        w->Unload();
        delete w;
    }
    if (frmSelType* w = mSelType) {
        w->Unload();
        delete w;
    }
    if (frmSelSum* w = mSelSum) {
        w->Unload();
        delete w;
    }
    if (frmSumExa* w = mSumExa) {
        w->Unload();
        delete w;
    }
    delete mChart.data();
}

void frmSum::closeEvent(QCloseEvent* e) {
    Form_Unload();
    e->accept();
}
