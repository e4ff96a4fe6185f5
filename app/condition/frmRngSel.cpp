#include "frmRngSel.h"
#include "CondTextBox.h"
#include "ConditionTranslator.h"
#include "Dialogs.h"
#include "FullWidth.h"
#include "Guarded.h"
#include "RellmarkConditionLookup.h"
#include "RngSelOwner.h"
#include "ScreenFit.h"
#include "UiFont.h"
#include "WaitCursor.h"
#include "modMorvi.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QStringListModel>
#include <QTimer>
#include <QVBoxLayout>

namespace {
QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}
} // namespace

frmRngSel::frmRngSel(QWidget* parent) : QWidget(parent, Qt::Window) {
    setFont(uiFont());
    setObjectName(QStringLiteral("frmRngSel"));

    lstType = new QListWidget(this);
    lstType->setObjectName(QStringLiteral("lstType"));
    mDatas = new QStringListModel(this);
    lstDatas = new QListView(this);
    lstDatas->setObjectName(QStringLiteral("lstDatas"));
    lstDatas->setModel(mDatas);
    lstDatas->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // a column may hold many thousands of values: rows of one height are
    // laid out without measuring each one
    lstDatas->setUniformItemSizes(true);
    lstDatas->setLayoutMode(QListView::Batched);
    cmdAdd = new QPushButton(QStringLiteral("挿入"), this);
    cmdAdd->setObjectName(QStringLiteral("cmdAdd"));
    cmdAdd->setAutoDefault(true); // Return presses the button that has the focus
    RchCond = new CondTextBox(this);
    RchCond->setObjectName(QStringLiteral("RchCond"));
    RchCond->setFont(uiFont(11.25));
    timInput = new QTimer(this);
    timInput->setObjectName(QStringLiteral("timInput"));
    timInput->setSingleShot(true);
    sbaStatus = new QStatusBar(this);
    sbaStatus->setObjectName(QStringLiteral("sbaStatus"));
    sbaStatus->setSizeGripEnabled(false);
    mStatusPanel = new QLabel(sbaStatus);
    mStatusPanel->setObjectName(QStringLiteral("sbaStatusPanel"));
    // the translator's messages are plain text, their double blanks included
    mStatusPanel->setTextFormat(Qt::PlainText);
    mStatusPanel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    sbaStatus->addWidget(mStatusPanel, 1);
    // the bar keeps its height whether a message is shown or not
    mStatusPanel->setMinimumHeight(mStatusPanel->fontMetrics().height() + 4);

    auto* lists = new QGridLayout;
    lists->addWidget(label(this, "lblTypes", QStringLiteral("項目")), 0, 0);
    lists->addWidget(label(this, "lblDatas", QStringLiteral("含まれる値")), 0, 1);
    lists->addWidget(lstType, 1, 0);
    lists->addWidget(lstDatas, 1, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdAdd);
    buttons->addStretch();
    lists->addLayout(buttons, 1, 2);
    lists->setColumnStretch(0, 1);
    lists->setColumnStretch(1, 2);

    auto* samples = new QGridLayout;
    samples->addWidget(label(this, "lblSample", QStringLiteral("記入サンプル：")), 0, 0, 1, 3);
    samples->addWidget(
        label(this, "lblSample11", QStringLiteral("購入金額 >= 0 AND 購入金額 <= 2000")), 1, 0);
    samples->addWidget(label(this, "lblSample12", QStringLiteral("→")), 1, 1);
    samples->addWidget(
        label(this, "lblSample13", QStringLiteral("金額が０～２０００円の項目を集計")), 1, 2);
    samples->addWidget(label(this, "lblSample21",
                             QStringLiteral("年 >= '2024' AND (購入した月 = 1 OR 購入した月 = 2)")),
                       2, 0);
    samples->addWidget(label(this, "lblSample22", QStringLiteral("→")), 2, 1);
    samples->addWidget(
        label(this, "lblSample23", QStringLiteral("２０２４年以降で１月または２月の項目を集計")), 2,
        2);
    samples->addWidget(label(this, "lblSample31", QStringLiteral("分類 <> '住居費'")), 3, 0);
    samples->addWidget(label(this, "lblSample32", QStringLiteral("→")), 3, 1);
    samples->addWidget(label(this, "lblSample33", QStringLiteral("住居費以外の項目を集計")), 3, 2);
    samples->setColumnStretch(2, 1);

    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(8, 8, 8, 0);
    lay->addLayout(lists, 3);
    lay->addWidget(RchCond, 2);
    lay->addLayout(samples);
    lay->addWidget(sbaStatus);
    resize(640, 480);
    fitOnShow(this);

    mDatabaseLookup = std::make_unique<RellmarkConditionLookup>();
    RchCond->setGuard([this] { return enterHandler(); }, [this] { leaveHandler(); });
    connect(lstType, &QListWidget::itemSelectionChanged, this,
            [this] { guarded(this, [this] { lstType_Click(); }); });
    connect(lstDatas->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { guarded(this, [this] { lstDatas_Click(); }); });
    connect(lstType, &QListWidget::itemDoubleClicked, this,
            [this] { guarded(this, [this] { cmdAdd_Click(); }); });
    connect(lstDatas, &QListView::doubleClicked, this,
            [this] { guarded(this, [this] { cmdAdd_Click(); }); });
    connect(cmdAdd, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { cmdAdd_Click(); }); });
    connect(timInput, &QTimer::timeout, this,
            [this] { guarded(this, [this] { timInput_Timer(); }); });
    connect(RchCond, &CondTextBox::userInput, this, [this] { RchCond_UserInput(); });
}

frmRngSel::~frmRngSel() = default;

QString frmRngSel::section() const {
    return modMorvi::objPublic ? modMorvi::objPublic->TableSection(mTableNum) : QString();
}

ConditionLookup* frmRngSel::lookup() const {
    return mLookup ? mLookup : mDatabaseLookup.get();
}

void frmRngSel::setLookup(ConditionLookup* lookup) {
    mLookup = lookup;
}

QString frmRngSel::statusText() const {
    return mStatusPanel->text();
}

void frmRngSel::SetSqlStr(const QString& strRangeStr) {
    mRangeStr = strRangeStr;
}

void frmRngSel::SetParent(RngSelOwner* frmParent) {
    mParentForm = frmParent;
}

void frmRngSel::ensureLoaded() {
    if (!mLoaded) guarded(this, [this] { Form_Load(); });
}

void frmRngSel::Form_Load() {
    // Not in the collection of loaded windows: it belongs to its owner,
    // which unloads it with itself.
    mLoaded = true;
    const QString sec = section();
    QString caption =
        QStringLiteral("集計対象の条件を指定(") + GetTableJPName(sec) + QStringLiteral(" )");
    if (mSameTblNum != 1) caption += toFullWidthDigits(mSameTblNum);
    setWindowTitle(caption);

    LoadColumnDefs(mTableNum, mColumns, mForeignColumns);
    lstType->clear();
    for (int i = 1; i < mColumns.size(); ++i)
        lstType->addItem(mColumns[i].JPName);

    mInTypeClick = false;
    mInDataClick = false;
    cmdAdd->setEnabled(false);
    mLastTypeIndex = -1;

    QTextCursor c = RchCond->textCursor();
    c.setPosition(0);
    RchCond->setTextCursor(c);
    RchCond->setDefaultColor(RchCond->currentCharFormat().foreground());
    RchCond->setConditionText(QString());

    timInput->setInterval(5000);
    timInput->stop();
    mIdle = true;
}

void frmRngSel::showEvent(QShowEvent* e) {
    ensureLoaded();
    QWidget::showEvent(e);
}

void frmRngSel::closeEvent(QCloseEvent* e) {
    if (mUnloading) {
        QWidget::closeEvent(e);
        return;
    }
    // it belongs to its summary window: the user's close only hides it
    e->ignore();
    hide();
    // the summary goes on with the condition it last took
    const std::optional<QString> message = ForceSetSql();
    if (message && !message->isEmpty())
        msgBox(parentWidget(),
               QStringLiteral("条件が正しくないため、集計には前の条件が使われます。\n") + *message);
}

void frmRngSel::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(e);
}

void frmRngSel::Unload() {
    mUnloading = true;
    timInput->stop();
    close();
}

// Handlers that change the text or translate it run one at a time. All of
// them run on the one thread, so a handler that finds another one running
// has been called from inside it (through events let in by a message box):
// waiting for it would never end. It gives way instead.
bool frmRngSel::enterHandler() {
    if (!mIdle) return false;
    mIdle = false;
    return true;
}

int frmRngSel::selectedType() const {
    const auto sel = lstType->selectionModel()->selectedRows();
    return sel.isEmpty() ? -1 : sel.first().row();
}

int frmRngSel::selectedData() const {
    const auto sel = lstDatas->selectionModel()->selectedRows();
    return sel.isEmpty() ? -1 : sel.first().row();
}

void frmRngSel::lstType_Click() {
    if (mInDataClick) return;
    mInTypeClick = true;
    lstDatas->clearSelection();
    mInTypeClick = false;

    const int index = selectedType();
    if (index == mLastTypeIndex) {
        cmdAdd->setEnabled(true);
        return;
    }
    mLastTypeIndex = index;
    if (index == -1) {
        cmdAdd->setEnabled(false);
        return;
    }
    cmdAdd->setEnabled(true);
    mDatas->setStringList({});
    WaitCursor wait;
    try {
        mDatas->setStringList(
            lookup()->columnValues(columnValuesSql(mColumns[index + 1], section())));
    } catch (const std::exception& e) {
        // the list stays empty; choosing the column again reads it again
        const QString why = lookup()->explainFailure(section(), mColumns, index + 1);
        mStatusPanel->setText(why.isEmpty() ? QString::fromStdString(e.what()) : why);
        mLastTypeIndex = -1;
    }
}

void frmRngSel::lstDatas_Click() {
    if (mInTypeClick) return;
    mInDataClick = true;
    lstType->clearSelection();
    mInDataClick = false;
    cmdAdd->setEnabled(selectedData() >= 0);
}

void frmRngSel::cmdAdd_Click() {
    const int type = selectedType();
    const int data = selectedData();
    if (type < 0 && data < 0) return;
    QString item;
    if (type >= 0) {
        item = lstType->item(type)->text();
    } else {
        if (mLastTypeIndex < 0 || mLastTypeIndex + 1 >= mColumns.size()) return;
        item = mDatas->stringList().at(data);
        const ColumnDef& c = mColumns[mLastTypeIndex + 1];
        const ColumnDataType t = IsForeignColumn(c) ? c.GaibuTableColeDataType : c.eDataType;
        if (t == eText) item = QLatin1Char('\'') + item + QLatin1Char('\'');
    }
    if (!enterHandler()) return;
    RchCond->insertItem(item);
    leaveHandler();
    timInput->start();
    RchCond->setFocus();
}

void frmRngSel::RchCond_UserInput() {
    timInput->start();
}

void frmRngSel::timInput_Timer() {
    translateNow();
}

std::optional<QString> frmRngSel::translateNow() {
    if (!enterHandler()) {
        timInput->start(); // the running handler finishes first; try again later
        return std::nullopt;
    }
    struct Done {
        frmRngSel* w;
        ~Done() {
            w->leaveHandler();
            w->timInput->stop();
        }
    } done{this};
    const QString text = RchCond->conditionText();
    const SqlWhere w = translate(text);
    mStatusPanel->setText(w.message);
    if (w.message.isEmpty() && mParentForm) mParentForm->PutSQLWhere(text, w.sql, w.tables);
    return w.message;
}

SqlWhere frmRngSel::translate(const QString& text) {
    ensureLoaded();
    ConditionTranslator translator(section(), mColumns, lookup());
    return translator.MakeSqlWhere(text);
}

std::optional<QString> frmRngSel::ForceSetSql() {
    ensureLoaded();
    std::optional<QString> message;
    guarded(this, [&] { message = translateNow(); });
    return message;
}

void frmRngSel::SetJpSql(const QString& strJpSql) {
    ensureLoaded();
    RchCond->setConditionText(strJpSql);
    guarded(this, [this] { translateNow(); });
}
