// "CSVで書き出し" of the table editor: the grid as the user sees it, to the
// file the user names; refusals and failures told, nothing left behind.
#include "FakeDialogs.h"
#include "FormsRegistry.h"
#include "TestEnv.h"
#include "Typing.h"
#include "frmInput.h"
#include "modMorvi.h"
#include "usrFlg.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QtTest>

namespace {
const QByteArray Bom = QByteArrayLiteral("\xEF\xBB\xBF");

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
} // namespace

class TestCsvExport : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<FakeDialogs> fake;
    QPointer<frmInput> ed;
    std::unique_ptr<QTemporaryDir> dir;

    usrFlg* g() { return ed->grid(); }
    void open() {
        ed = new frmInput;
        ed->mTblNum = 1;
        Forms::setTag(ed, QStringLiteral("1"));
        QVERIFY(ed->Form_Load());
        ed->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(ed));
        g()->flgMain()->setFocus();
    }
    void exportTo(const std::optional<QString>& answer) {
        fake->fileAnswers << answer;
        ed->action("mnuFileCsv")->trigger();
    }

private slots:
    void init() {
        fake = std::make_unique<FakeDialogs>();
        env = std::make_unique<TestEnv>();
        dir = std::make_unique<QTemporaryDir>();
        QString ini = "[buy]\nTableJPName=購入\n";
        ini += iniColumn(1, "id", "番号", 0, "eInteger", "MainKey=1;Unique=1");
        ini += iniColumn(2, "name", "品名", 1, "eText");
        ini += iniColumn(3, "cat_id", "分類", 2, "eInteger",
                         "GaibuTableName=cat;GaibuTableColName=cat_name;GaibuTableColKey=cat_id;"
                         "GaibuTableColeDataType=eText;InputPlus=1;NullPermmit=1");
        ini += iniColumn(4, "shop_id", "店", 3, "eInteger",
                         "GaibuTableName=shop;GaibuTableColName=shop_name;GaibuTableColKey=shop_id;"
                         "GaibuTableColeDataType=eText;InputPlus=1");
        ini += iniColumn(5, "price", "金額", 4, "eInteger", "NullPermmit=1");
        ini += "[cat]\nTableJPName=分類\n" +
               iniColumn(1, "cat_id", "番号", 0, "eInteger", "MainKey=1") +
               iniColumn(2, "cat_name", "分類名", 1, "eText");
        ini += "[shop]\nTableJPName=店\n" +
               iniColumn(1, "shop_id", "番号", 0, "eInteger", "MainKey=1") +
               iniColumn(2, "shop_name", "店名", 1, "eText");
        env->writeIni(ini);
        env->runSql({"create table buy (id integer primary key, name text, cat_id integer, "
                     "shop_id integer, price integer)",
                     "create table cat (cat_id integer primary key, cat_name text)",
                     "create table shop (shop_id integer primary key, shop_name text)",
                     "insert into cat values (0, '食費')",
                     "insert into shop values (1, 'スーパー'), (2, 'コンビニ')",
                     "insert into buy values (9, '牛乳', 0, 1, 200)",
                     "insert into buy values (5, 'パン', 0, 2, 150)",
                     "insert into buy values (7, '\"特製\" 弁当, 大盛', null, 5, null)"});
        env->startProgram();
        open();
    }
    void cleanup() {
        for (QWidget* w : Forms::all()) {
            if (auto* e = qobject_cast<frmInput*>(w)) e->setUnloadApproved();
            delete w;
        }
        env->stopProgram();
        fake.reset();
        env.reset();
    }

    void menuItemBesideTheFileCommands() {
        QMenu* file = ed->menuBar()->actions().first()->menu();
        QStringList captions;
        for (QAction* a : file->actions())
            captions << a->text();
        QCOMPARE(captions, QStringList({"保存（&S)", "再読み出し", "外部キー再読み出し",
                                        "CSVで書き出し", "CSVから取り込み…", "閉じる（&C)"}));
    }

    // Shown columns with their headers and the foreign texts, in the order
    // shown, with what is being typed; nothing of the hidden key columns.
    void writesTheGridAsShown() {
        g()->setRow(1);
        g()->SortOn(1, 7); // by the item's name
        g()->setRow(3);
        g()->setCol(4);
        typeText(QStringLiteral("210")); // still in the editor
        QVERIFY(g()->isEditorOpen());
        const QString path = dir->filePath(QStringLiteral("買い物.csv"));
        exportTo(path);
        QCOMPARE(fake->messages(), QStringList());
        QCOMPARE(fake->shown.first().kind, QStringLiteral("saveFile"));
        QCOMPARE(fake->shown.first().title, QStringLiteral("CSVで書き出し"));
        QVERIFY2(fake->shown.first().text.endsWith(QStringLiteral("/購入.csv")),
                 qPrintable(fake->shown.first().text));
        const QString expected =
            QStringLiteral("番号,品名,分類,店,金額\r\n"
                           "7,\"\"\"特製\"\" 弁当, 大盛\",,外部キー該当なし,\r\n"
                           "5,パン,食費,コンビニ,150\r\n"
                           "9,牛乳,食費,スーパー,210\r\n");
        QVERIFY(readAll(path).startsWith(Bom));
        QCOMPARE(QString::fromUtf8(readAll(path).mid(3)), expected);
        QCOMPARE(readAll(path), Bom + expected.toUtf8());
        QVERIFY(!g()->isEditorOpen());
        QVERIFY(ed->isModified()); // the typed price is in the grid, not yet saved
        QCOMPARE(env->scalar("select price from buy where id = 9").toInt(), 200);
        // the next time the dialog starts in the folder written to
        exportTo(std::nullopt);
        QCOMPARE(fake->shown.last().text, dir->filePath(QStringLiteral("購入.csv")));
    }

    void refusedOrFailed_data() {
        QTest::addColumn<QString>("target"); // "db", "ini", "cancel" or a name in the folder
        QTest::addColumn<QString>("message");
        QTest::addRow("cancelled") << "cancel"
                                   << "";
        QTest::addRow("the database")
            << "db"
            << "「%1」はTamrocのデータを保存しているファイルです。別のファイル名を指定して下さい。";
        QTest::addRow("the catalog")
            << "ini"
            << "「%1」はTamrocのデータを保存しているファイルです。別のファイル名を指定して下さい。";
        QTest::addRow("missing folder") << "no/such/a.csv"
                                        << "CSVファイル「%1」を書き出せませんでした。\n";
    }
    void refusedOrFailed() {
        QFETCH(QString, target);
        QFETCH(QString, message);
        const QByteArray dbBefore = readAll(env->dbPath());
        const QByteArray iniBefore = readAll(env->iniPath());
        QString path;
        if (target == "db")
            path = env->path() + "/db/../db/Tamroc.mdb"; // however it is spelt
        else if (target == "ini")
            path = env->iniPath();
        else if (target != "cancel")
            path = dir->filePath(target);
        exportTo(target == "cancel" ? std::nullopt : std::optional<QString>(path));
        const QStringList messages = fake->messages();
        if (message.isEmpty()) {
            QCOMPARE(messages, QStringList());
        } else {
            QCOMPARE(messages.size(), 1);
            QVERIFY2(messages[0].startsWith(message.arg(QDir::toNativeSeparators(path))),
                     qPrintable(messages[0]));
            QVERIFY2(messages[0].size() > message.arg(path).size() || target == "db" ||
                         target == "ini",
                     "the reason follows");
            QCOMPARE(fake->shown.last().title, QStringLiteral("CSVで書き出し"));
        }
        QCOMPARE(readAll(env->dbPath()), dbBefore);
        QCOMPARE(readAll(env->iniPath()), iniBefore);
        QCOMPARE(QDir(dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList());
        QVERIFY(!ed->isModified());
    }
};

QTEST_MAIN(TestCsvExport)
#include "tst_csvexport.moc"
