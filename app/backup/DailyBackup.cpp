#include "DailyBackup.h"
#include "BackupStore.h"
#include "Dialogs.h"
#include "ProgramEvents.h"
#include "ServerAddress.h"
#include "modMorvi.h"

#include <QDate>
#include <QFile>
#include <QWidget>

namespace DailyBackup {
namespace {
// The day whose backup was made or tried: later saves of that day cost
// nothing.
QDate tried;
} // namespace

void forget() {
    tried = QDate();
}

void beforeSave(QWidget* parent) {
    using namespace modMorvi;
    const QDateTime now = QDateTime::currentDateTime();
    if (tried == now.date()) return;
    tried = now.date();
    if (!objDB || strDbPath.isEmpty() || ServerAddress::isServerAddress(strDbPath) ||
        !QFile::exists(strDbPath))
        return;
    BackupStore store(strDbPath, strIniPath);
    if (store.hasBackupOf(now.date())) return;
    const QString why = store.make(now);
    if (!why.isEmpty())
        dialogs().message(parent,
                          QStringLiteral("バックアップを作成できませんでした。"
                                         "保存はこのまま続けます。\n\n") +
                              why,
                          {}, Dialogs::Icon::Warning);
}

void follow(QObject* context) {
    QObject::connect(&ProgramEvents::instance(), &ProgramEvents::bookAboutToBeSaved, context,
                     [](QWidget* editor) { beforeSave(editor); });
}

} // namespace DailyBackup
