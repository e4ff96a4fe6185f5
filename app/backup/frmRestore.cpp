#include "frmRestore.h"
#include "Catalog.h"
#include "Dialogs.h"
#include "Guarded.h"
#include "ScreenFit.h"
#include "ServerAddress.h"
#include "UiFont.h"
#include "WaitCursor.h"
#include "clsRellmark.h"
#include "modMorvi.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>

using namespace modMorvi;

namespace {
QString when(const BackupEntry& e) {
    return e.taken.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

QString sizeText(qint64 bytes) {
    return QLocale::c().toString((bytes + 1023) / 1024) + QStringLiteral(" KB");
}

QString contents(const BackupEntry& e) {
    if (e.damaged())
        return QStringLiteral("壊れています：") + e.damage.section(QLatin1Char('\n'), 0, 0);
    QStringList parts;
    for (const BackupEntry::Table& t : e.tables)
        parts << t.jpName + QLatin1Char(' ') + QLocale::c().toString(t.rows) + QStringLiteral("件");
    return parts.join(QStringLiteral("、"));
}

// The book the program opened again: the file it was given, or the one
// beside it.
void reconnect() {
    const QString beside = strAppPath + QStringLiteral("/db/Tamroc.mdb");
    InitEnvironmentAt(strAppPath, strDbPath == beside ? QString() : strDbPath);
    LoadTableList();
}

void letGoOfTheBook() {
    if (!objDB) return;
    try {
        objDB->DisConnect();
    } catch (const RellmarkError&) {
        // a connection that never opened has nothing to close
    }
}

QPointer<frmRestore> openWindow;
} // namespace

frmRestore::frmRestore(const QString& bookPath, const QString& iniPath, Menu menu, QWidget* parent)
    : QWidget(parent, Qt::Window), mStore(bookPath, iniPath), mMenu(std::move(menu)) {
    setWindowTitle(QStringLiteral("バックアップから戻す"));
    fitOnShow(this);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &QWidget::close);
    setFont(uiFont(10));
    auto* lay = new QGridLayout(this);
    lblInfo = new QLabel(this);
    lblInfo->setWordWrap(true);
    lstBackups = new QTreeWidget(this);
    lstBackups->setHeaderLabels(
        {QStringLiteral("日時"), QStringLiteral("大きさ"), QStringLiteral("件数")});
    lstBackups->setRootIsDecorated(false);
    lstBackups->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lstBackups->setMinimumSize(560, 300);
    chkSettings = new QCheckBox(QStringLiteral("設定（カタログと集計方法）も戻す"), this);
    cmdRestore = new QPushButton(QStringLiteral("戻す"), this);
    cmdClose = new QPushButton(QStringLiteral("閉じる"), this);
    lay->addWidget(lblInfo, 0, 0, 1, 3);
    lay->addWidget(lstBackups, 1, 0, 1, 3);
    lay->addWidget(chkSettings, 2, 0, 1, 3);
    lay->addWidget(cmdRestore, 3, 1);
    lay->addWidget(cmdClose, 3, 2);
    lay->setColumnStretch(0, 1);
    connect(lstBackups, &QTreeWidget::currentItemChanged, this, [this] { updateButtons(); });
    connect(cmdRestore, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { cmdRestore_Click(); }); });
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    guarded(this, [this] { Form_Load(); });
}

void frmRestore::Form_Load() {
    WaitCursor wait;
    mEntries = mStore.list();
    lstBackups->clear();
    for (const BackupEntry& e : mEntries) {
        auto* item = new QTreeWidgetItem(lstBackups, {when(e), sizeText(e.size), contents(e)});
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        if (e.damaged()) {
            // listed so that the user sees it, never chosen
            item->setFlags(Qt::NoItemFlags);
            item->setToolTip(2, e.damage);
        }
    }
    lblInfo->setText(
        mEntries.isEmpty()
            ? QStringLiteral("バックアップはまだありません（%1）。").arg(mStore.folder())
            : QStringLiteral("戻すバックアップを選んで下さい（%1）。").arg(mStore.folder()));
    updateButtons();
}

void frmRestore::updateButtons() {
    const int row =
        lstBackups->currentItem() ? lstBackups->indexOfTopLevelItem(lstBackups->currentItem()) : -1;
    cmdRestore->setEnabled(row >= 0 && row < mEntries.size() && !mEntries[row].damaged());
}

void frmRestore::cmdRestore_Click() {
    const int row =
        lstBackups->currentItem() ? lstBackups->indexOfTopLevelItem(lstBackups->currentItem()) : -1;
    if (row < 0 || row >= mEntries.size() || mEntries[row].damaged()) return;
    const BackupEntry chosen = mEntries[row];
    const bool withIni = chkSettings->isChecked();
    QString ask = QStringLiteral("帳簿を %1 のバックアップに戻します。").arg(when(chosen));
    if (withIni) ask += QStringLiteral("設定（カタログと集計方法）も戻します。");
    ask += QStringLiteral("\n今の帳簿はバックアップしてから置き換えます。"
                          "開いている画面は全て閉じます。よろしいですか？");
    if (dialogs().question(this, ask, windowTitle()) != Dialogs::Answer::Yes) return;

    if (mMenu.closeWindows && !mMenu.closeWindows()) {
        msgBox(this, QStringLiteral("閉じられなかった画面があるため、"
                                    "バックアップから戻すのを取りやめました。"));
        return;
    }
    QString why;
    {
        WaitCursor wait;
        bool released = false;
        why = mStore.restore(chosen, withIni, [&] {
            letGoOfTheBook();
            released = true;
        });
        if (released) reconnect();
    }
    if (mMenu.refresh) mMenu.refresh();
    Form_Load();
    if (!why.isEmpty()) {
        dialogs().message(this,
                          QStringLiteral("バックアップから戻せませんでした。"
                                         "帳簿と設定は元のままです。\n\n") +
                              why,
                          {}, Dialogs::Icon::Warning);
        return;
    }
    msgBox(this, QStringLiteral("帳簿を %1 のバックアップに戻しました。").arg(when(chosen)));
}

void showRestoreWindow(QWidget* menu, frmRestore::Menu how) {
    if (ServerAddress::isServerAddress(strDbPath)) {
        msgBox(menu,
               QStringLiteral("サーバー上の帳簿のバックアップは、サーバーの管理者が"
                              "作成し、戻します。このプログラムはバックアップを作りません。"));
        return;
    }
    if (!openWindow) {
        openWindow = new frmRestore(strDbPath, strIniPath, std::move(how), menu);
        openWindow->setAttribute(Qt::WA_DeleteOnClose);
    }
    openWindow->show();
    openWindow->raise();
    openWindow->activateWindow();
}
