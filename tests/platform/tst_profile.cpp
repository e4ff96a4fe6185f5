#include "Profile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#if defined(Q_OS_LINUX)
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
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

    // Every CP932 lead byte followed by "[" (0x5B) or "]" (0x5D) as its second
    // byte, in a section name, a key and a value.
    void doubleByteCharactersWithBracketTrailBytes_data() {
        QTest::addColumn<QByteArray>("ch");
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (lead > 0x9F && lead < 0xE0) continue;
            for (int trail : {0x5B, 0x5D}) {
                QByteArray ch;
                ch.append(char(lead)).append(char(trail));
                QTest::newRow(ch.toHex().constData()) << ch;
            }
        }
    }
    void doubleByteCharactersWithBracketTrailBytes() {
        QFETCH(QByteArray, ch);
        const QByteArray file =
            "[a]\r\nk=1\r\n[s" + ch + "x]\r\nk" + ch + "=v" + ch + "\r\n[z]\r\nq=2\r\n";
        write(file);
        const QString c = Profile::fromCp932(ch);
        const QString sec = "s" + c + "x", key = "k" + c;
        QCOMPARE(Profile::GetString(QString(), QString(), "0", 255, path),
                 "a" + QString(QChar(0)) + sec + QChar(0) + "z" + QChar(0) + QChar(0));
        QCOMPARE(Profile::GetString("z", "q", "0", 30, path), QStringLiteral("2"));
        // Writing elsewhere leaves every other byte alone, characters the
        // code page does not assign included.
        QVERIFY(Profile::WriteString("z", "q", "3", path));
        QCOMPARE(read(), QByteArray(file).replace("q=2", "q=3"));
        if (c.contains(QChar(QChar::ReplacementCharacter))) return; // not a character
        QCOMPARE(Profile::GetString(sec, key, "0", 30, path), "v" + c);
        QVERIFY(Profile::WriteString(sec, key, "w" + c, path));
        QVERIFY(Profile::WriteString(sec, "n" + c, c, path));
        QByteArray expected = file;
        expected.replace("q=2", "q=3");
        // the written line is the caller's key and value in the code page's
        // own bytes for them
        expected.replace("k" + ch + "=v" + ch + "\r\n",
                         Profile::toCp932(key + "=w" + c + "\r\nn" + c + "=" + c + "\r\n"));
        QCOMPARE(read(), expected);
        QCOMPARE(Profile::GetString(sec, "N" + c, "0", 30, path), c);
    }

    // Bytes the code page has no character for are read as one substitute
    // each, never dropped: a lone lead byte at a line's end included.
    void invalidBytesStandForOneCharacterEach_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("length");
        QTest::newRow("lead byte at the line end") << QByteArray("\x8B\xE0\x81") << 2;
        QTest::newRow("lead byte at the file end") << QByteArray("\x8B\xE0\x81") << 2;
        QTest::newRow("byte without a character") << QByteArray("\x95\x69\xFF\x96\xBC") << 3;
        QTest::newRow("lead byte before a blank") << QByteArray("a\x81 b") << 4;
    }
    void invalidBytesStandForOneCharacterEach() {
        QFETCH(QByteArray, value);
        QFETCH(int, length);
        const bool lastLine = QByteArray(QTest::currentDataTag()).contains("file end");
        write("[s]\r\nk=" + value + (lastLine ? "" : "\r\nnext=1\r\n"));
        const QString v = Profile::GetString("s", "k", "0", Profile::Unlimited, path);
        QCOMPARE(v.size(), length);
        QVERIFY(!v.contains(QLatin1Char('\r')) && !v.contains(QLatin1Char('\n')));
        QCOMPARE(Profile::fromCp932(value).size(), length);
        if (!lastLine)
            QCOMPARE(Profile::GetString("s", "next", "0", 30, path), QStringLiteral("1"));
    }

    // Reads of an unchanged file may reuse what an earlier read found; any
    // change, by this program or another, of any size, is read at once.
    void everyChangeIsReadAtOnce_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("value");
        const QChar nul(0);
        QTest::newRow("same size, another value") << QByteArray("[a]\r\nk=1\r\n[b]\r\nk=2\r\n")
                                                  << QByteArray("[a]\r\nk=3\r\n[b]\r\nk=2\r\n")
                                                  << "a" + QString(nul) + "b" + nul + nul << "3";
        QTest::newRow("same size, sections renamed") << QByteArray("[a]\r\nk=1\r\n[b]\r\nk=2\r\n")
                                                     << QByteArray("[b]\r\nk=1\r\n[a]\r\nk=2\r\n")
                                                     << "b" + QString(nul) + "a" + nul + nul << "2";
        QTest::newRow("emptied") << QByteArray("[a]\r\nk=1\r\n") << QByteArray() << QString(nul)
                                 << "0";
        QTest::newRow("from nothing")
            << QByteArray() << QByteArray("[a]\nk=5") << "a" + QString(nul) + nul << "5";
    }
    void everyChangeIsReadAtOnce() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(QString, list);
        QFETCH(QString, value);
        write(before);
        Profile::GetString("a", "k", "0", 30, path);
        Profile::GetString(QString(), QString(), "0", 255, path);
        write(after);
        QCOMPARE(Profile::GetString(QString(), QString(), "0", 255, path), list);
        QCOMPARE(Profile::GetString("a", "k", "0", 30, path), value);
        // and a key written by the program
        QVERIFY(Profile::WriteString("a", "k", "9", path));
        QCOMPARE(Profile::GetString("a", "k", "0", 30, path), QStringLiteral("9"));
        // another file of the same bytes is read as itself
        const QString other = dir.path() + QStringLiteral("/other.ini");
        QFile::remove(other);
        QVERIFY(QFile::copy(path, other));
        QCOMPARE(Profile::GetString("a", "k", "0", 30, other), QStringLiteral("9"));
    }

    void byteOrderMarkIsSkippedAndKept() {
        write("\xEF\xBB\xBF[AppIni]\r\nx=1\r\n[b]\r\ny=2\r\n");
        QCOMPARE(Profile::GetString("AppIni", "x", "0", 30, path), QStringLiteral("1"));
        QCOMPARE(Profile::GetString(QString(), QString(), "0", 255, path),
                 "AppIni" + QString(QChar(0)) + "b" + QChar(0) + QChar(0));
        QVERIFY(Profile::WriteString("appini", "x", "5", path));
        QVERIFY(Profile::WriteString("AppIni", "z", "6", path));
        QCOMPARE(read(), QByteArray("\xEF\xBB\xBF[AppIni]\r\nx=5\r\nz=6\r\n[b]\r\ny=2\r\n"));
    }

    void lineEndsAreKeptByteForByte_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("CR only") << QByteArray("[a]\rk=1\r[b]\rk=2\r") << "b"
                                 << "k"
                                 << "3" << QByteArray("[a]\rk=1\r[b]\rk=3\r");
        QTest::newRow("CR only, appended") << QByteArray("[a]\rk=1\r[b]\rk=2\r") << "a"
                                           << "m"
                                           << "4" << QByteArray("[a]\rk=1\rm=4\r[b]\rk=2\r");
        QTest::newRow("mixed") << QByteArray("[a]\r\nx=1\n[b]\ry=2\r\nz=3") << "b"
                               << "y"
                               << "9" << QByteArray("[a]\r\nx=1\n[b]\ry=9\r\nz=3");
        QTest::newRow("no final newline, appended")
            << QByteArray("[a]\r\nx=1\n[b]\ry=2\r\nz=3") << "b"
            << "w"
            << "4" << QByteArray("[a]\r\nx=1\n[b]\ry=2\r\nz=3\r\nw=4");
        QTest::newRow("new section after LF lines") << QByteArray("[a]\nx=1\n") << "c"
                                                    << "k"
                                                    << "v" << QByteArray("[a]\nx=1\n[c]\nk=v\n");
        QTest::newRow("key removed") << QByteArray("[a]\nx=1\r\ny=2\n") << "a"
                                     << "x" << QString() << QByteArray("[a]\ny=2\n");
        const QByteArray longComment = "; " + QByteArray(70000, 'c') + "\n";
        QTest::newRow("LF file, first line over 64 KB") << longComment + "[a]\nk=1\n"
                                                        << "a"
                                                        << "k"
                                                        << "2" << longComment + "[a]\nk=2\n";
    }
    void lineEndsAreKeptByteForByte() {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        write(before);
        QVERIFY(Profile::WriteString(section, key, value, path));
        QCOMPARE(read(), after);
        if (!value.isNull()) QCOMPARE(Profile::GetString(section, key, "0", 30, path), value);
    }

    void textOutsideTheCodePageIsRefused_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("emoji value") << "b"
                                     << "k" << QStringLiteral("😀");
        QTest::newRow("surrogate pair kanji") << "b"
                                              << "k" << QStringLiteral("𠮷野家");
        QTest::newRow("key") << "b" << QStringLiteral("k😀") << "1";
        QTest::newRow("section") << QStringLiteral("s😀") << "k"
                                 << "1";
        QTest::newRow("hangul") << "b"
                                << "k" << QStringLiteral("한");
    }
    void textOutsideTheCodePageIsRefused() {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        const QByteArray before = read();
        QVERIFY(!Profile::WriteString(section, key, value, path));
        QCOMPARE(read(), before);
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

    // A file that exists but cannot be read is not an empty file: writing a
    // key must not put a file holding only that key in its place.
    void unreadableFileIsNotRewritten() {
#if defined(Q_OS_LINUX)
        const QByteArray before = read();
        const auto all = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                         QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                         QFile::WriteOther | QFile::ExeOther;
        QFile::setPermissions(dir.path(), all);
        // written by everyone, read by no one
        QFile::setPermissions(path, QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther);
        // Permissions do not stop root; take an ordinary user's rights.
        const bool root = geteuid() == 0;
        const bool dropped = !root || seteuid(65534) == 0;
        bool wrote = false, added = false;
        if (dropped) {
            wrote = Profile::WriteString("b", "k", "new", path);
            added = Profile::WriteString("new", "k", "v", path);
        }
        if (root && dropped) QCOMPARE(seteuid(0), 0);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (!dropped) QSKIP("root cannot take an ordinary user's rights here");
        QVERIFY(!wrote);
        QVERIFY(!added);
        QCOMPARE(read(), before);
#else
        QSKIP("needs an ordinary user to take the rights of");
#endif
    }
};

QTEST_GUILESS_MAIN(TestProfile)
#include "tst_profile.moc"
