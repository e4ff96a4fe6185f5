#include "frmSumExa.h"
#include "Catalog.h"
#include "FullWidth.h"
#include "Guarded.h"
#include "PresetStore.h"
#include "ScreenFit.h"
#include "SumPresetsOwner.h"
#include "UiFont.h"
#include "WaitCursor.h"
#include "modMorvi.h"

#include <QCloseEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>

namespace {
// Sizes as designed, in twips.
constexpr int ListLeft = 120, ListTop = 120;
constexpr int SetWidth = 2550, SetHeight = 615, SetTop = 120;
constexpr int SaveWidth = 2550, SaveHeight = 615;
constexpr int DelLeft = 120, DelWidth = 855, DelHeight = 375;
// The frame and title bar that the designed sizes counted in.
constexpr int FrameWidth = 120, FrameHeight = 300;

// Marks the window busy for the length of a save, delete or rename.
class BusyScope {
public:
    explicit BusyScope(bool& busy) : mBusy(busy) { mBusy = true; }
    ~BusyScope() { mBusy = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& mBusy;
};
} // namespace

frmSumExa::frmSumExa(QWidget* parent) : QWidget(parent, Qt::Window) {
    setFont(uiFont());
    setObjectName(QStringLiteral("frmSumExa"));
    setWindowTitle(QStringLiteral("定番の集計方法をセット"));

    lstRng = new QListWidget(this);
    lstRng->setObjectName(QStringLiteral("lstRng"));
    lstRng->setSelectionMode(QAbstractItemView::SingleSelection);
    lstRng->setEditTriggers(QAbstractItemView::NoEditTriggers);
    cmdSet = new QPushButton(QStringLiteral("選択した集計設定をセット"), this);
    cmdSet->setObjectName(QStringLiteral("cmdSet"));
    cmdSave = new QPushButton(QStringLiteral("現在の集計方法を追加して登録"), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    cmdDel = new QPushButton(QStringLiteral("削除"), this);
    cmdDel->setObjectName(QStringLiteral("cmdDel"));
    lblExplain = new QLabel(QStringLiteral("リストをダブルクリックで名前変更"), this);
    lblExplain->setObjectName(QStringLiteral("lblExplain"));
    txtRngCng = new QLineEdit(this);
    txtRngCng->setObjectName(QStringLiteral("txtRngCng"));
    txtRngCng->hide();

    // Wide enough for their captions in whatever font the system has.
    cmdSet->setGeometry(0, twips(SetTop), std::max(twips(SetWidth), cmdSet->sizeHint().width()),
                        twips(SetHeight));
    cmdSave->resize(std::max(twips(SaveWidth), cmdSave->sizeHint().width()), twips(SaveHeight));
    cmdDel->setGeometry(twips(DelLeft), 0, twips(DelWidth), twips(DelHeight));
    lblExplain->adjustSize();
    lstRng->move(twips(ListLeft), twips(ListTop));
    InitRename();
    resize(twips(7800), twips(3900));
    for (QPushButton* b : {cmdSet, cmdSave, cmdDel})
        b->setAutoDefault(true); // Return presses the button that has the focus
    fitOnShow(this);

    lstRng->installEventFilter(this);
    txtRngCng->installEventFilter(this);
    connect(cmdSet, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { cmdSet_Click(); }); });
    connect(cmdSave, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { cmdSave_Click(); }); });
    connect(cmdDel, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { cmdDel_Click(); }); });
    connect(lstRng, &QListWidget::itemDoubleClicked, this,
            [this] { guarded(this, [this] { StartRename(); }); });
}

frmSumExa::~frmSumExa() {
    // The box may hold the focus while the children go.
    txtRngCng->removeEventFilter(this);
    lstRng->removeEventFilter(this);
}

int frmSumExa::twips(int t) const {
    return t * logicalDpiX() / 1440;
}

void frmSumExa::SetTblNumFrm(int intTblNum, int intSameTblNum, SumPresetsOwner* frmSumArg) {
    mTblNum = intTblNum;
    mSameTblNum = intSameTblNum;
    mParent = frmSumArg;
}

void frmSumExa::showEvent(QShowEvent* e) {
    if (!mLoaded) guarded(this, [this] { Form_Load(); });
    QWidget::showEvent(e);
}

void frmSumExa::Form_Load() {
    // Not in the collection of loaded windows: it belongs to its summary
    // window, which unloads it with itself.
    mLoaded = true;
    if (!modMorvi::objPublic) return;
    const QString section = modMorvi::objPublic->TableSection(static_cast<qint16>(mTblNum));
    const QString jpName = GetTableJPName(section);
    QString caption = QStringLiteral("定番の集計方法をセット：") + jpName;
    if (mSameTblNum != 1) caption += toFullWidthDigits(mSameTblNum);
    setWindowTitle(caption);
    mColumnCount = CountColumns(section);

    InitRename();
    QString message;
    mStore = PresetStore::forTable(modMorvi::strIniPath, mTblNum, jpName, &message);
    connect(mStore.get(), &PresetStore::changed, this, [this] { FillPresetList(); });
    FillPresetList();
    if (!message.isEmpty()) msgBox(this, message);
}

void frmSumExa::InitRename() {
    txtRngCng->hide();
    txtRngCng->move(-twips(1000), -twips(1000));
    mRenaming = false;
    mBusy = false;
}

// The list follows the presets with the selected item and the scroll
// position kept where they were (moved up when the list got shorter).
void frmSumExa::FillPresetList() {
    const int selected = lstRng->currentRow();
    const int top = lstRng->verticalScrollBar()->value();
    const QList<SumPreset> presets = mStore ? mStore->presets() : QList<SumPreset>();
    const QSignalBlocker block(lstRng);
    while (lstRng->count() > presets.size())
        delete lstRng->takeItem(lstRng->count() - 1);
    for (int k = 0; k < presets.size(); ++k) {
        if (k == lstRng->count()) lstRng->addItem(QString());
        QListWidgetItem* item = lstRng->item(k);
        item->setText(presets[k].Title);
        item->setData(Qt::UserRole, k);
    }
    if (selected >= 0 && lstRng->count() > 0)
        lstRng->setCurrentRow(std::min(selected, lstRng->count() - 1));
    lstRng->doItemsLayout();
    lstRng->verticalScrollBar()->setValue(top);
}

void frmSumExa::cmdSet_Click() {
    if (!mStore || !mParent) return;
    QListWidgetItem* item = lstRng->currentItem();
    if (!item || !item->isSelected()) return;
    const int k = item->data(Qt::UserRole).toInt();
    if (k < 0 || k >= mStore->presets().size()) return;
    const SumPreset p = mStore->presets()[k];
    const PresetSetting s = settingOf(p, mColumnCount);
    if (!s.message.isEmpty()) {
        msgBox(this, s.message);
        return;
    }
    mParent->SetSumSetting(s.types, s.sumCol, p.JpSql, p.Sql, p.Tables);
}

// The write runs without letting window events in, so no second click can
// arrive in the middle of it; the busy flag turns away a handler reached
// while a message or the owner has events running.
void frmSumExa::cmdSave_Click() {
    if (mBusy || !mStore || !mParent) return;
    BusyScope busy(mBusy);
    QString message;
    if (mStore->presets().size() >= PresetStore::MaxListed) {
        message = QStringLiteral("これ以上登録できません。");
    } else {
        SumPreset p;
        int sumCol = 0;
        mParent->ReturnSumSetting(sumCol, p.JpSql, p.Sql);
        p.SumColumNumber = QString::number(sumCol);
        p.RCond.clear();
        for (int c : mParent->TypeColumns())
            p.RCond << QString::number(c);
        if (p.RCond.isEmpty()) p.RCond << QStringLiteral("-1");
        p.Tables.clear();
        for (int m = 0; m <= mParent->RetmStrFrTbls_ubound(); ++m)
            p.Tables << mParent->RetmStrFrTbls_data(m);
        p.Title = mStore->newPresetTitle();
        {
            WaitCursor wait;
            message = mStore->add(p);
        }
        if (message.isEmpty() && lstRng->count() > 0)
            lstRng->scrollToItem(lstRng->item(lstRng->count() - 1),
                                 QAbstractItemView::PositionAtTop);
    }
    if (!message.isEmpty()) msgBox(this, message);
}

void frmSumExa::cmdDel_Click() {
    if (mBusy || !mStore) return;
    BusyScope busy(mBusy);
    QListWidgetItem* item = lstRng->currentItem();
    if (!item || !item->isSelected()) return;
    const int k = item->data(Qt::UserRole).toInt();
    if (k < 0 || k >= mStore->presets().size()) return;
    QString message;
    {
        WaitCursor wait;
        message = mStore->remove(mStore->presets()[k].id);
    }
    if (!message.isEmpty()) msgBox(this, message);
}

void frmSumExa::StartRename() {
    if (!mStore || mRenaming) return;
    QListWidgetItem* item = lstRng->currentItem();
    if (!item || !item->isSelected()) return;
    const int k = item->data(Qt::UserRole).toInt();
    if (k < 0 || k >= mStore->presets().size()) return;
    const QRect r = lstRng->visualItemRect(item);
    const QPoint at = lstRng->viewport()->mapTo(this, r.topLeft());
    // A box taller than the row stands centred on it.
    const int height = std::max(r.height(), txtRngCng->sizeHint().height());
    txtRngCng->setGeometry(lstRng->x() + twips(25), at.y() - (height - r.height()) / 2,
                           lstRng->width() - twips(50), height);
    mRenameId = mStore->presets()[k].id;
    txtRngCng->setText(mStore->presets()[k].Title);
    txtRngCng->show();
    txtRngCng->raise();
    txtRngCng->setFocus(Qt::OtherFocusReason);
    txtRngCng->end(false);
}

bool frmSumExa::EndRename(bool store) {
    if (!txtRngCng->isVisible() || mRenaming) return true;
    mRenaming = true;
    QString message;
    if (store && mStore) {
        WaitCursor wait;
        message = mStore->rename(mRenameId, txtRngCng->text());
    }
    if (message.isEmpty()) {
        txtRngCng->hide();
        txtRngCng->move(-twips(1000), -twips(1000));
    } else {
        // The name stays in the box to be mended, or given up with Escape.
        msgBox(this, message);
        txtRngCng->setFocus(Qt::OtherFocusReason);
    }
    mRenaming = false;
    return message.isEmpty();
}

void frmSumExa::txtRngCng_LostFocus() {
    if (mBusy) return;
    BusyScope busy(mBusy);
    EndRename(true);
}

bool frmSumExa::eventFilter(QObject* watched, QEvent* e) {
    if (watched == lstRng && e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            guarded(this, [this] { StartRename(); });
            return true;
        }
    } else if (watched == txtRngCng && e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
            bool closed = true;
            guarded(this, [&] { closed = EndRename(key != Qt::Key_Escape); });
            if (closed) lstRng->setFocus(Qt::OtherFocusReason);
            return true;
        }
    } else if (watched == txtRngCng && e->type() == QEvent::FocusOut) {
        // The box's own context menu takes the focus for a moment only.
        if (static_cast<QFocusEvent*>(e)->reason() != Qt::PopupFocusReason)
            guarded(this, [this] { txtRngCng_LostFocus(); });
    }
    return QWidget::eventFilter(watched, e);
}

void frmSumExa::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    // Laid out on the window's outer size, as the window was designed.
    const int w = width() + twips(FrameWidth);
    const int h = height() + twips(FrameHeight);
    const int listHeight = std::max(h - lstRng->y() - cmdDel->height() - twips(500), twips(400));
    const int listWidth = std::max(w - cmdSet->width() - twips(500), twips(400));
    lstRng->resize(listWidth, listHeight);
    cmdDel->move(cmdDel->x(), lstRng->y() + listHeight + twips(100));
    lblExplain->move(cmdDel->x() + cmdDel->width() + twips(100),
                     cmdDel->y() + (cmdDel->height() - lblExplain->height()) / 2);
    cmdSet->move(lstRng->x() + listWidth + twips(150), cmdSet->y());
    // Never over the explanation beside "削除".
    cmdSave->move(
        std::max(w - cmdSave->width() - twips(300),
                 lblExplain->x() + lblExplain->width() + twips(150)),
        std::max(h - cmdSave->height() - twips(500), cmdSet->y() + cmdSet->height() + twips(300)));
}

void frmSumExa::closeEvent(QCloseEvent* e) {
    if (mUnloading) {
        QWidget::closeEvent(e);
        return;
    }
    // A name being typed is taken as a change of focus takes it: its box
    // never sees the focus go once the window is hidden.
    if (txtRngCng->isVisible() && !mBusy) {
        BusyScope busy(mBusy);
        if (!EndRename(true)) {
            e->ignore(); // the name was refused: the window stays for it to be mended
            return;
        }
    }
    // it belongs to its summary window: the user's close only hides it
    e->ignore();
    hide();
}

void frmSumExa::Unload() {
    mUnloading = true;
    close();
    if (mStore) disconnect(mStore.get(), nullptr, this, nullptr);
    mStore.reset();
}
