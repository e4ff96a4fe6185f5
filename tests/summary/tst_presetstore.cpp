// Preset storage against real files: keys and values as written, other
// lines left byte for byte, failed rewrites, refused values, stored numbers
// that cannot be used, the store shared by the windows of one table, and the
// demo book that the standard presets total.
#include "Catalog.h"
#include "FakeDialogs.h"
#include "PresetLines.h"
#include "PresetStore.h"
#include "Profile.h"
#include "TestEnv.h"
#include "modMorvi.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>
#if defined(Q_OS_LINUX)
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

using namespace modMorvi;
Q_DECLARE_METATYPE(SumPreset)

namespace {
SumPreset preset(const QString& title, const QStringList& rcond, const QString& sum,
                 const QString& jp = {}, const QString& sql = {},
                 const QStringList& tables = {QString()}) {
    SumPreset p;
    p.Title = title;
    p.RCond = rcond;
    p.SumColumNumber = sum;
    p.JpSql = jp;
    p.Sql = sql;
    p.Tables = tables;
    return p;
}

QStringList describe(const QList<SumPreset>& list) {
    return describePresets(list);
}

QByteArray cp932(const QString& text) {
    return cp932File(text);
}

QString lines(int table, int p, const QString& title, const QStringList& rcond, const QString& sum,
              const QString& jp = {}, const QString& sql = {},
              const QStringList& tables = {QString()}) {
    return presetLines(table, p, title, rcond, sum, jp, sql, tables);
}

const QString Catalog = QStringLiteral("[buy_tbl]\nTableJPName=購入テーブル\n"
                                       "COL( 01 )FieldName=buy_id\n\n"
                                       "[shop_tbl]\nTableJPName=購入店テーブル\n");
} // namespace

class TestPresetStore : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<FakeDialogs> fake;

    QByteArray read() const {
        QFile f(env->iniPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void write(const QByteArray& b) const {
        QFile f(env->iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(b);
    }
    std::unique_ptr<PresetStore> fresh(int table = 2, const QString& jp = "店") const {
        auto s = std::make_unique<PresetStore>(env->iniPath(), table, jp);
        s->load();
        return s;
    }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        fake = std::make_unique<FakeDialogs>();
        env->writeIni(Catalog);
    }
    void cleanup() {
        fake.reset();
        env.reset();
    }

    // Presets written and read back: the keys in their order, trimmed values
    // between double quotes, and every value coming back as it was given.
    void roundTrip_data() {
        QTest::addColumn<int>("table");
        QTest::addColumn<QList<SumPreset>>("given");
        QTest::addColumn<QList<SumPreset>>("back");
        const auto plain = preset("年ごと", {"2", "5"}, "7");
        QTest::newRow("japanese, two classifications")
            << 2 << QList<SumPreset>{plain} << QList<SumPreset>{plain};
        QTest::newRow("blanks around values are dropped")
            << 2
            << QList<SumPreset>{preset("  外食 の合計 ", {" 5 "}, " 7", " 分類 = '外食' ",
                                       " buy_tbl.category_id = 2", {" category_tbl "})}
            << QList<SumPreset>{preset("外食 の合計", {"5"}, "7", "分類 = '外食'",
                                       "buy_tbl.category_id = 2", {"category_tbl"})};
        QTest::newRow("no classification, empty condition")
            << 2 << QList<SumPreset>{preset("全部", {"-1"}, "8")}
            << QList<SumPreset>{preset("全部", {"-1"}, "8")};
        // The quotes the file keeps around a value are taken off once; quotes
        // of the value itself stay.
        const auto quotes =
            preset("\"引用\"", {"2"}, "7", "備考 = \"特売\"", "x = '\"'", {"\"", "'t'"});
        QTest::newRow("quotes of the value itself")
            << 2 << QList<SumPreset>{quotes} << QList<SumPreset>{quotes};
        const auto tabs = preset("\t全角　空白　", {"2"}, "7");
        QTest::newRow("tabs and full-width blanks are kept")
            << 2 << QList<SumPreset>{tabs} << QList<SumPreset>{tabs};
        const auto nf = preset("NotFound", {"NotFound"}, "7", "NotFound", "NotFound", {"NotFound"});
        QTest::newRow("NotFound is a value like any other")
            << 2 << QList<SumPreset>{plain, nf, plain} << QList<SumPreset>{plain, nf, plain};
        QList<SumPreset> many;
        for (int i = 0; i < 12; ++i)
            many << preset("設定" + QString::number(i), {QString::number(i % 9 + 1)}, "7");
        QTest::newRow("table and presets 10 and more") << 10 << many << many;
        // the condition language reads a line break as a blank
        QTest::newRow("line breaks in the condition")
            << 2 << QList<SumPreset>{preset("t", {"2"}, "7", "年 = '2024'\r\nand\n月 = 1")}
            << QList<SumPreset>{preset("t", {"2"}, "7", "年 = '2024' and 月 = 1")};
    }
    void roundTrip() {
        QFETCH(int, table);
        QFETCH(QList<SumPreset>, given);
        QFETCH(QList<SumPreset>, back);
        auto s = fresh(table);
        for (const SumPreset& p : given)
            QCOMPARE(s->add(p), QString());
        QCOMPARE(describe(s->presets()), describe(back));
        QCOMPARE(describe(fresh(table)->presets()), describe(back));
        QString expected = Catalog + "[AppIni]\n";
        for (int p = 0; p < back.size(); ++p)
            expected += lines(table, p, back[p].Title, back[p].RCond, back[p].SumColumNumber,
                              back[p].JpSql, back[p].Sql, back[p].Tables);
        QCOMPARE(read(), cp932(expected));
    }

    // A rewrite replaces the table's own keys and nothing else: other
    // tables' presets, comments and blank lines among the keys, other
    // sections and line ends stay byte for byte and in order.
    void rewriteLeavesOtherLines_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        const QString added = lines(2, 0, "新", {"3"}, "7");
        const QString other = lines(1, 0, "他の表", {"2"}, "8");
        QTest::newRow("no AppIni yet") << cp932(Catalog) << cp932(Catalog + "[AppIni]\n" + added);
        const QString old = lines(2, 0, "古", {"2", "5"}, "7") + lines(2, 1, "二つ目", {"-1"}, "7");
        QTest::newRow("own keys rewritten where they stood")
            << cp932("[AppIni]\nLastUse=1\n" + old + other + "\n" + Catalog)
            << cp932("[AppIni]\nLastUse=1\n" + old + lines(2, 2, "新", {"3"}, "7") + other + "\n" +
                     Catalog);
        // The reader finds keys in any case and with blanks around them, so
        // they are the table's keys too; a second copy would hide the new one.
        QTest::newRow("keys in other case and with blanks")
            << cp932("[AppIni]\n sumtnum( 02 )sum( 00 )title = \"小文字\"\n; メモ\n" + other +
                     "SumTNum( 02 )Sum( 0a )Title=\"x\"\n[Other]\nSumTNum( 02 )Sum( 00 )Title=y\n")
            << cp932("[AppIni]\n" + lines(2, 0, "小文字", {"-1"}, "") +
                     lines(2, 1, "新", {"3"}, "7") + "SumTNum( 02 )Sum( 0a )Title=\"x\"\n; メモ\n" +
                     other + "[Other]\nSumTNum( 02 )Sum( 00 )Title=y\n");
        QTest::newRow("table 20 is not table 2")
            << cp932(Catalog + "[AppIni]\n" + lines(0x20, 0, "表20", {"2"}, "7"))
            << cp932(Catalog + "[AppIni]\n" + lines(0x20, 0, "表20", {"2"}, "7") + added);
        QByteArray lf = cp932(Catalog + "[AppIni]\nx=1");
        lf.replace("\r\n", "\n");
        QByteArray lfAfter = cp932(Catalog + "[AppIni]\nx=1\n" + added);
        lfAfter.replace("\r\n", "\n");
        lfAfter.chop(1);
        QTest::newRow("LF line ends, no final line end") << lf << lfAfter;
        const QByteArray bom = "\xEF\xBB\xBF";
        QTest::newRow("byte order mark")
            << bom + cp932("[AppIni]\n") << bom + cp932("[AppIni]\n" + added);
    }
    void rewriteLeavesOtherLines() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        write(before);
        QCOMPARE(fresh()->add(preset("新", {"3"}, "7")), QString());
        QCOMPARE(read(), after);
    }

    // Keys the reader passes over (a preset after a gap, one without a
    // title, a list element after a gap, numbers of 100 and more) stay in
    // the file byte for byte through a rename or an added preset.
    void unreadKeysAreWrittenBack_data() {
        QTest::addColumn<QString>("kept");
        QTest::addColumn<QString>("op");
        const QString rows[][2] = {
            {"gap", lines(2, 2, "二つ先", {"2"}, "7")},
            {"no title", presetKeyPrefix(2, 1) + "RCond( 00 )=\"3\"\n" + presetKeyPrefix(2, 1) +
                             "SumColumNumber=\"8\"\n"},
            {"element gap", presetKeyPrefix(2, 0) + "RCond( 02 )=\"5\"\n"},
            {"number 0x64", lines(2, 0x64, "百", {"2"}, "7")},
        };
        for (const auto& [name, kept] : rows) {
            QTest::addRow("%s, rename", qPrintable(name)) << kept << "rename";
            if (name != "no title") QTest::addRow("%s, add", qPrintable(name)) << kept << "add";
        }
    }
    void unreadKeysAreWrittenBack() {
        QFETCH(QString, kept);
        QFETCH(QString, op);
        write(cp932(Catalog + "[AppIni]\n" + lines(2, 0, "古", {"2"}, "7") + kept));
        auto s = fresh();
        QCOMPARE(describe(s->presets()), QStringList{"古|2|7|||"});
        QCOMPARE(op == "add" ? s->add(preset("新", {"3"}, "7"))
                             : s->rename(s->presets().first().id, "改"),
                 QString());
        QVERIFY2(read().contains(cp932(kept)), read().constData());
        QCOMPARE(describe(fresh()->presets()).first(),
                 op == "add" ? QStringLiteral("古|2|7|||") : QStringLiteral("改|2|7|||"));
    }

    // A preset's passed-over keys go with it when it is numbered anew.
    void unreadKeysFollowTheirPreset() {
        write(cp932(Catalog + "[AppIni]\n" + lines(2, 0, "古", {"2"}, "7") +
                    lines(2, 1, "二", {"3"}, "7") + presetKeyPrefix(2, 1) + "RCond( 02 )=\"5\"\n"));
        auto s = fresh();
        QCOMPARE(s->remove(s->presets().first().id), QString());
        QCOMPARE(s->rename(s->presets().first().id, "新"), QString());
        QCOMPARE(read(), cp932(Catalog + "[AppIni]\n" + lines(2, 0, "新", {"3"}, "7") +
                               presetKeyPrefix(2, 0) + "RCond( 02 )=\"5\"\n"));
    }

    // A rewrite that cannot be finished leaves the old file and the presets
    // as they were and says so.
    void failedRewriteKeepsEverything_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("folder not writable") << "folder";
        QTest::newRow("file size limit (full disk)") << "limit";
        QTest::newRow("file gone") << "gone";
    }
    void failedRewriteKeepsEverything() {
#if defined(Q_OS_LINUX)
        QFETCH(QString, how);
        write(cp932(Catalog + "[AppIni]\n" + lines(2, 0, "古", {"2"}, "7")));
        const QByteArray before = read();
        auto s = fresh();
        const QStringList was = describe(s->presets());
        const QString dir = env->path() + "/db";
        QString message;
        if (how == "folder") {
            const auto rx = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                            QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
            QFile::setPermissions(env->path(), rx | QFile::WriteOwner);
            QFile::setPermissions(dir, rx);
            // The file itself may be written; only a new file beside it may not.
            QFile::setPermissions(env->iniPath(), QFile::ReadOwner | QFile::WriteOwner |
                                                      QFile::ReadGroup | QFile::WriteGroup |
                                                      QFile::ReadOther | QFile::WriteOther);
            // Permissions do not stop root; take an ordinary user's rights
            // for the length of the write.
            const bool root = geteuid() == 0;
            if (root) QCOMPARE(seteuid(65534), 0);
            message = s->add(preset("新", {"3"}, "7"));
            if (root) QCOMPARE(seteuid(0), 0);
            QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        } else if (how == "limit") {
            rlimit old{};
            getrlimit(RLIMIT_FSIZE, &old);
            auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
            rlimit tight = old;
            tight.rlim_cur = before.size(); // the new file is larger than the old one
            setrlimit(RLIMIT_FSIZE, &tight);
            message = s->rename(s->presets().first().id, "新しい名前");
            setrlimit(RLIMIT_FSIZE, &old);
            std::signal(SIGXFSZ, oldHandler);
        } else {
            QVERIFY(QFile::rename(env->iniPath(), env->iniPath() + ".away"));
            message = s->remove(s->presets().first().id);
            QVERIFY(!QFile::exists(env->iniPath()));
            QVERIFY(QFile::rename(env->iniPath() + ".away", env->iniPath()));
        }
        QVERIFY2(message.startsWith("集計設定をINIファイルに書き込めませんでした。"
                                    "ファイルと集計設定は元のままです。"),
                 qPrintable(message));
        QCOMPARE(read(), before);
        QCOMPARE(describe(s->presets()), was);
        QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList{"Tamroc.ini"});
#else
        QSKIP("needs POSIX limits");
#endif
    }

    // Values that would not come back whole are refused before anything is
    // written.
    void valuesThatWouldNotComeBackAreRefused_data() {
        QTest::addColumn<QString>("op"); // "add" or "rename"
        QTest::addColumn<SumPreset>("p");
        QTest::addColumn<QString>("message");
        const QString tooLong = "が長すぎるため登録できません。";
        QTest::newRow("700-byte title")
            << "rename" << preset(QString(350, QChar(0x3042)), {}, {})
            << "名前" + tooLong + "名前は半角599文字（全角299文字）までです。";
        QTest::newRow("600 bytes")
            << "rename" << preset(QString(300, QChar(0x8CFC)), {}, {})
            << "名前" + tooLong + "名前は半角599文字（全角299文字）までです。";
        QTest::newRow("long condition")
            << "add" << preset("t", {"2"}, "7", QString(600, 'x'))
            << "条件" + tooLong + "条件は半角599文字（全角299文字）までです。";
        QTest::newRow("long SQL") << "add" << preset("t", {"2"}, "7", "x", QString(600, 'x'))
                                  << "条件のSQL" + tooLong +
                                         "条件のSQLは半角599文字（全角299文字）までです。";
        QTest::newRow("line break inside a quoted value")
            << "add" << preset("t", {"2"}, "7", "備考 = 'a\r\nb'")
            << "条件に改行が含まれているため登録できません。改行を取り除いてから登録してください。";
        QTest::newRow("emoji in a title")
            << "rename" << preset("外食😀", {}, {})
            << "名前にINIファイルに保存できない文字が含まれているため登録できません。";
        QTest::newRow("table name outside the code page")
            << "add" << preset("t", {"2"}, "7", "x", "y", {"한"})
            << "条件で使うテーブル名にINIファイルに保存できない文字が含まれているため登録できません"
               "。";
        QStringList many;
        for (int i = 0; i < 101; ++i)
            many << "2";
        QTest::newRow("101 classifications")
            << "add" << preset("t", many, "7")
            << "分類する項目が多すぎるため登録できません。100個までです。";
    }
    void valuesThatWouldNotComeBackAreRefused() {
        QFETCH(QString, op);
        QFETCH(SumPreset, p);
        QFETCH(QString, message);
        write(cp932(Catalog + "[AppIni]\n" + lines(2, 0, "古", {"2"}, "7")));
        const QByteArray before = read();
        auto s = fresh();
        const QString m = op == "add" ? s->add(p) : s->rename(s->presets().first().id, p.Title);
        QCOMPARE(m, message);
        QCOMPARE(read(), before);
        QCOMPARE(describe(s->presets()), QStringList{"古|2|7|||"});
    }
    void longestValueComesBackWhole() {
        auto s = fresh();
        const QString title = QString(299, QChar(0x8CFC)) + "x"; // 599 bytes
        QCOMPARE(s->add(preset(title, {"2"}, "7")), QString());
        QCOMPARE(fresh()->presets().first().Title, title);
    }

    // Stored numbers that do not name a column of the table: the preset
    // loads, is written back as it was, and says why when it is set.
    void storedNumbersThatCannotBeUsed_data() {
        QTest::addColumn<QString>("sum");
        QTest::addColumn<QStringList>("rcond");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QList<int>>("types");
        const QString m = "集計設定「p」は、%1の番号「%2」がこの表の項目を指していないため、"
                          "セットできません。";
        QTest::newRow("usable") << "7" << QStringList{"2", "5"} << "" << QList<int>{2, 5};
        QTest::newRow("none") << "10" << QStringList{"-1"} << "" << QList<int>{-1};
        QTest::newRow("sum not a number")
            << "abc" << QStringList{"2"} << m.arg("合計する項目", "abc") << QList<int>{};
        QTest::newRow("sum missing")
            << "" << QStringList{"2"} << m.arg("合計する項目", "") << QList<int>{};
        QTest::newRow("sum beyond the columns")
            << "11" << QStringList{"2"} << m.arg("合計する項目", "11") << QList<int>{};
        QTest::newRow("sum 0") << "0" << QStringList{"2"} << m.arg("合計する項目", "0")
                               << QList<int>{};
        QTest::newRow("sum beyond 16 bits")
            << "70000" << QStringList{"2"} << m.arg("合計する項目", "70000") << QList<int>{};
        QTest::newRow("classification not a number")
            << "7" << QStringList{"2", "2.5"} << m.arg("分類する項目", "2.5") << QList<int>{};
        QTest::newRow("-1 among others")
            << "7" << QStringList{"2", "-1"} << m.arg("分類する項目", "-1") << QList<int>{};
    }
    void storedNumbersThatCannotBeUsed() {
        QFETCH(QString, sum);
        QFETCH(QStringList, rcond);
        QFETCH(QString, message);
        QFETCH(QList<int>, types);
        const QByteArray file = cp932(Catalog + "[AppIni]\n" + lines(2, 0, "p", rcond, sum) +
                                      lines(2, 1, "ok", {"2"}, "7"));
        write(file);
        auto s = fresh();
        QCOMPARE(s->presets().size(), 2);
        const PresetSetting set = settingOf(s->presets()[0], 10);
        QCOMPARE(set.message, message);
        if (message.isEmpty()) {
            QCOMPARE(set.types, types);
            QCOMPARE(set.sumCol, sum.toInt());
        }
        QCOMPARE(settingOf(s->presets()[1], 10).message, QString());
        // A change to the other preset writes this one back as it was.
        QCOMPARE(s->rename(s->presets()[1].id, "x"), QString());
        QByteArray expected = file;
        expected.replace(cp932("Sum( 01 )Title=\"ok\""), cp932("Sum( 01 )Title=\"x\""));
        QCOMPARE(read(), expected);
    }

    // The windows of one table share one store: a change made through one
    // is seen by the others; once none holds it, it is read afresh.
    void oneStorePerTable() {
        QString m;
        auto a = PresetStore::forTable(env->iniPath(), 2, "店", &m);
        QCOMPARE(m, QString());
        auto b = PresetStore::forTable(env->path() + "/db/../db/Tamroc.ini", 2, "店");
        auto other = PresetStore::forTable(env->iniPath(), 1, "購入テーブル");
        QCOMPARE(a.get(), b.get());
        QVERIFY(other.get() != a.get());
        QSignalSpy changed(b.get(), &PresetStore::changed);
        QCOMPARE(a->add(preset("共有", {"2"}, "7")), QString());
        QCOMPARE(changed.size(), 1);
        QCOMPARE(describe(b->presets()), QStringList{"共有|2|7|||"});
        a.reset();
        b.reset();
        write(cp932(Catalog + "[AppIni]\n" + lines(2, 0, "外で", {"3"}, "7")));
        QCOMPARE(describe(PresetStore::forTable(env->iniPath(), 2, "店")->presets()),
                 QStringList{"外で|3|7|||"});
    }

    // The purchase table offers three presets while it has none stored; they
    // reach the file with the first change and come back once all are gone.
    void standardPresetsOfThePurchaseTable() {
        QCOMPARE(fresh(2, "購入店テーブル")->presets().size(), 0);
        auto s = fresh(1, "購入テーブル");
        const QStringList standard{"年ごとの総額|2|7|||", "年ごとで分類した総額|2,5|7|||",
                                   "月ごとで分類した総額|2,3,5|7|||"};
        QCOMPARE(describe(s->presets()), standard);
        QCOMPARE(read(), cp932(Catalog));
        QCOMPARE(s->newPresetTitle(), QStringLiteral("設定中の集計設定"));
        QCOMPARE(s->add(preset(s->newPresetTitle(), {"-1"}, "8")), QString());
        QCOMPARE(s->newPresetTitle(), QStringLiteral("設定中の集計設定：２"));
        QCOMPARE(describe(fresh(1, "購入テーブル")->presets()),
                 standard + QStringList{"設定中の集計設定|-1|8|||"});
        while (!s->presets().isEmpty())
            QCOMPARE(s->remove(s->presets().last().id), QString());
        QCOMPARE(read(), cp932(Catalog + "[AppIni]\n"));
        QCOMPARE(describe(fresh(1, "購入テーブル")->presets()), standard);
    }

    void ninetyNinePresetsAtMost() {
        auto s = fresh();
        for (int i = 0; i < PresetStore::MaxListed; ++i)
            QCOMPARE(s->add(preset(s->newPresetTitle(), {"2"}, "7")), QString());
        QCOMPARE(s->presets().last().Title, QStringLiteral("設定中の集計設定：９９"));
        const QByteArray before = read();
        QCOMPARE(s->add(preset("x", {"2"}, "7")), QStringLiteral("これ以上登録できません。"));
        QCOMPARE(read(), before);
        QCOMPARE(fresh()->presets().size(), PresetStore::MaxListed);
    }

    // The demo book as it is shipped: every standard preset of the purchase
    // table totals a number column into real groups.
    void standardPresetsTotalTheDemoBook_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("minGroups");
        QTest::newRow("年ごとの総額") << 0 << QStringList{"年"} << 3;
        QTest::newRow("年ごとで分類した総額") << 1 << QStringList{"年", "分類"} << 30;
        QTest::newRow("月ごとで分類した総額")
            << 2 << QStringList{"年", "購入した月", "分類"} << 300;
    }
    void standardPresetsTotalTheDemoBook() {
        QFETCH(int, index);
        QFETCH(QStringList, names);
        QFETCH(int, minGroups);
        const SumPreset standard = PresetStore::standardPresets()[index];
        QCOMPARE(standard.Title, QString::fromUtf8(QTest::currentDataTag()));
        QFile::remove(env->iniPath());
        QVERIFY(QFile::copy(TAMROC_DEMO_INI, env->iniPath()));
        QVERIFY(QFile::copy(TAMROC_DEMO_DB, env->dbPath()));
        env->startProgram();
        ColumnDefs cols, foreign;
        QCOMPARE(LoadColumnDefs(1, cols, foreign), qint16(0));
        const PresetSetting set = settingOf(standard, cols.size() - 1);
        QCOMPARE(set.message, QString());
        QCOMPARE(set.sumCol, 7);
        QCOMPARE(GetTableJPName(objPublic->TableSection(1)), QStringLiteral("購入テーブル"));
        env->stopProgram();
        QVERIFY(fake->messages().isEmpty());

        // The presets total column 7, the summary window's default is 8.
        for (int c : {7, 8}) {
            QVERIFY2(isNumberType(cols[c].eDataType) && !IsForeignColumn(cols[c]),
                     qPrintable(cols[c].JPName));
        }
        QStringList jp, fields;
        for (int t : set.types) {
            jp << cols[t].JPName;
            fields << cols[t].FieldName;
        }
        QCOMPARE(jp, names);
        const auto groups = env->rows("select " + fields.join(',') + ", sum(" + cols[7].FieldName +
                                      ") from buy_tbl group by " + fields.join(','));
        QVERIFY(groups.size() >= minGroups);
        for (const QStringList& g : groups)
            QVERIFY2(g.last().toLongLong() > 0, qPrintable(g.join(' ')));
        // What was paid differs from what was bought where discounts and
        // points came in, and is never more.
        QVERIFY(env->scalar("select count(*) from buy_tbl where " + cols[8].FieldName + " < " +
                            cols[7].FieldName)
                    .toInt() > 0);
        QCOMPARE(env->scalar("select count(*) from buy_tbl where " + cols[8].FieldName + " > " +
                             cols[7].FieldName)
                     .toInt(),
                 0);
    }
};

QTEST_GUILESS_MAIN(TestPresetStore)
#include "tst_presetstore.moc"
