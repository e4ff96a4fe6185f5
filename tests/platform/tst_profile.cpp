#include "Profile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#if defined(Q_OS_LINUX)
#include <csignal>
#include <sys/resource.h>
#endif

class TestProfile : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path;

    void write(const QByteArray& bytes) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray read() {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void init() {
        path = dir.path() + QStringLiteral("/t.ini");
        write(Profile::toCp932(QStringLiteral("[AppIni]\r\nx=1\r\n[Buy_Tbl]\r\nTableJPName = "
                                              "購入テーブル \r\nCOL( 01 )FieldName=buy_id\r\n"
                                              "; comment=no\r\n[b]\r\nk=v\r\n")));
    }

    void lookupIgnoresCaseAndTrims() {
        QCOMPARE(Profile::GetString("buy_tbl", "tablejpname", "0", 255, path),
                 QStringLiteral("購入テーブル"));
        QCOMPARE(Profile::GetString("BUY_TBL", "col( 01 )fieldname", "0", 30, path),
                 QStringLiteral("buy_id"));
    }

    void missingGivesDefault() {
        QCOMPARE(Profile::GetString("buy_tbl", "nothing", "0", 30, path), QStringLiteral("0"));
        QCOMPARE(Profile::GetString("nosection", "x", "NotFound", 30, path),
                 QStringLiteral("NotFound"));
        QCOMPARE(Profile::GetString("buy_tbl", "; comment", "0", 30, path), QStringLiteral("0"));
        QCOMPARE(Profile::GetString("a", "b", "dflt", 30, dir.path() + "/missing.ini"),
                 QStringLiteral("dflt"));
    }

    void sectionListInFileOrder() {
        const QString list = Profile::GetString(QString(), QString(), "0", 255, path);
        QCOMPARE(list, QStringLiteral("AppIni") + QChar(0) + "Buy_Tbl" + QChar(0) + "b" + QChar(0) +
                           QChar(0));
    }

    void resultsAreCutToTheBuffer_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("buffer");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ascii") << "abcdefghij" << 5 << "abcd";
        QTest::newRow("fits") << "abc" << 4 << "abc";
        // two bytes per kana: 5 bytes leave room for two characters only
        QTest::newRow("no half character") << "あいう" << 6 << "あい";
        QTest::newRow("mixed") << "aあb" << 4 << "aあ";
    }
    void resultsAreCutToTheBuffer() {
        QFETCH(QString, value);
        QFETCH(int, buffer);
        QFETCH(QString, expected);
        QVERIFY(Profile::WriteString("s", "k", value, path));
        QCOMPARE(Profile::GetString("s", "k", "0", buffer, path), expected);
    }

    void sectionListCutShort() {
        const QString list = Profile::GetString(QString(), QString(), "0", 10, path);
        // "AppIni\0Bu" then the closing NULs
        QCOMPARE(list, QStringLiteral("AppIni") + QChar(0) + "B" + QChar(0) + QChar(0));
    }

    void cp932RoundTrip() {
        const QString v = QStringLiteral("①㈱～購入ﾃｽﾄ");
        QVERIFY(Profile::WriteString("buy_tbl", "Preset", v, path));
        QCOMPARE(Profile::GetString("buy_tbl", "preset", "0", 255, path), v);
        // the file holds the CP932 bytes, not UTF-8
        QVERIFY(read().contains(QByteArray("\x87\x40\x87\x8a\x81\x60", 6)));
    }

    void writeReplacesInPlaceAndKeepsOtherBytes() {
        const QByteArray before = read();
        QVERIFY(Profile::WriteString("BUY_TBL", "tablejpname", "買い物", path));
        QByteArray expected = before;
        expected.replace(Profile::toCp932("TableJPName = 購入テーブル "),
                         Profile::toCp932("tablejpname=買い物"));
        QCOMPARE(read(), expected);
    }

    void writeAppendsToSectionOrCreatesIt() {
        QVERIFY(Profile::WriteString("AppIni", "y", "2", path));
        QVERIFY(Profile::WriteString("new", "z", "3", path));
        const QString text = Profile::fromCp932(read());
        QVERIFY(text.startsWith("[AppIni]\r\nx=1\r\ny=2\r\n[Buy_Tbl]"));
        QVERIFY(text.endsWith("[new]\r\nz=3\r\n"));
        QCOMPARE(Profile::GetString("new", "z", "0", 30, path), QStringLiteral("3"));
    }

    void nullValueDeletesKeyNullKeyDeletesSection() {
        QVERIFY(Profile::WriteString("AppIni", "x", QString(), path));
        QCOMPARE(Profile::GetString("AppIni", "x", "0", 30, path), QStringLiteral("0"));
        QVERIFY(Profile::WriteString("b", QString(), QString(), path));
        QCOMPARE(Profile::GetString(QString(), QString(), "0", 255, path),
                 QStringLiteral("AppIni") + QChar(0) + "Buy_Tbl" + QChar(0) + QChar(0));
    }

    void failedRewriteKeepsTheOldFile() {
#if defined(Q_OS_LINUX)
        const QByteArray before = read();
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tight = old;
        tight.rlim_cur = 64; // any file written now is cut at 64 bytes
        setrlimit(RLIMIT_FSIZE, &tight);
        const bool ok =
            Profile::WriteString("buy_tbl", "big", QString(500, QLatin1Char('x')), path);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!ok);
        QCOMPARE(read(), before);
#else
        QSKIP("needs a file size limit");
#endif
    }
};

QTEST_GUILESS_MAIN(TestProfile)
#include "tst_profile.moc"
