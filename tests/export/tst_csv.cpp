// CSV files as spreadsheet programs read them, the grid as shown, and
// writing that fails without leaving anything behind.
#include "CsvWriter.h"
#include "GridModel.h"
#include "WholeFile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>

namespace {
const QByteArray Bom = QByteArrayLiteral("\xEF\xBB\xBF");

// The file's bytes after the byte order mark, as text.
QString body(const CsvWriter& w) {
    if (!w.bytes().startsWith(Bom)) return QStringLiteral("<no byte order mark>");
    return QString::fromUtf8(w.bytes().mid(3));
}

// rows x cols, header "H<c>", cells "<r>-<c>"
GridModel grid(int rows, int cols) {
    GridModel g;
    g.setCols(cols);
    g.setRows(rows);
    g.setFixedCols(0);
    for (int c = 0; c < cols; ++c)
        g.setText(0, c, QStringLiteral("H%1").arg(c));
    for (int r = 1; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            g.setText(r, c, QStringLiteral("%1-%2").arg(r).arg(c));
    return g;
}

// Files are cut at `bytes` for the length of a scope: a write beyond comes
// up short, as on a full disk.
struct FileSizeLimit {
    rlimit old{};
    void (*oldHandler)(int);
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old);
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tight = old;
        tight.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &tight);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }
};
} // namespace

class TestCsv : public QObject {
    Q_OBJECT
private slots:
    void fieldsAndRows_data() {
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::addColumn<QString>("expected");
        QTest::addRow("plain") << QList<QStringList>{{"a", "b"}, {"c", "d"}}
                               << QStringLiteral("a,b\r\nc,d\r\n");
        QTest::addRow("comma") << QList<QStringList>{{"1,000", "x"}}
                               << QStringLiteral("\"1,000\",x\r\n");
        QTest::addRow("quotes doubled") << QList<QStringList>{{"say \"hi\"", "\""}}
                                        << QStringLiteral("\"say \"\"hi\"\"\",\"\"\"\"\r\n");
        QTest::addRow("line breaks") << QList<QStringList>{{"a\nb", "c\rd", "e\r\nf"}}
                                     << QStringLiteral("\"a\nb\",\"c\rd\",\"e\r\nf\"\r\n");
        QTest::addRow("empty and null cells")
            << QList<QStringList>{{"", "x", ""}, {""}} << QStringLiteral(",x,\r\n\r\n");
        QTest::addRow("empty row") << QList<QStringList>{{}, {"a"}} << QStringLiteral("\r\na\r\n");
        QTest::addRow("blanks kept")
            << QList<QStringList>{{" a ", "b\t"}} << QStringLiteral(" a ,b\t\r\n");
        // what a spreadsheet would run as a formula opens as text
        QTest::addRow("formulas")
            << QList<QStringList>{{"=HYPERLINK(\"x\")", "+1", "-500", "@SUM(A1)", "\tb", "\rc",
                                   "a=b"}}
            << QStringLiteral(
                   "\"'=HYPERLINK(\"\"x\"\")\",'+1,'-500,'@SUM(A1),'\tb,\"'\rc\",a=b\r\n");
        QTest::addRow("japanese") << QList<QStringList>{{"食費", "スーパー「まるや」",
                                                         "１，０００"}}
                                  << QStringLiteral("食費,スーパー「まるや」,１，０００\r\n");
        QTest::addRow("japanese quoted")
            << QList<QStringList>{{"お弁当,おにぎり", "“特売”\"品\""}}
            << QStringLiteral("\"お弁当,おにぎり\",\"“特売”\"\"品\"\"\"\r\n");
        QTest::addRow("outside the basic plane")
            << QList<QStringList>{{"𠮷野家🍙"}} << QStringLiteral("𠮷野家🍙\r\n");
    }
    void fieldsAndRows() {
        QFETCH(QList<QStringList>, rows);
        QFETCH(QString, expected);
        CsvWriter w;
        for (const QStringList& r : rows)
            w.addRow(r);
        QCOMPARE(body(w), expected);
        QCOMPARE(w.bytes(), Bom + expected.toUtf8());
    }

    // What the user sees, and nothing else: hidden key and flag columns,
    // an empty grid's placeholder row; rows in the order shown.
    void shownGrid_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QList<int>>("hiddenCols");
        QTest::addColumn<bool>("sortDescending");
        QTest::addColumn<QString>("expected");
        QTest::addRow("all") << 3 << QList<int>{} << false
                             << QStringLiteral("H0,H1,H2\r\n1-0,1-1,1-2\r\n2-0,2-1,2-2\r\n");
        QTest::addRow("hidden columns")
            << 3 << QList<int>{0, 2} << false << QStringLiteral("H1\r\n1-1\r\n2-1\r\n");
        QTest::addRow("shown order")
            << 4 << QList<int>{1} << true
            << QStringLiteral("H0,H2\r\n3-0,3-2\r\n2-0,2-2\r\n1-0,1-2\r\n");
        QTest::addRow("empty grid") << 1 << QList<int>{2} << false << QStringLiteral("H0,H1\r\n");
    }
    void shownGrid() {
        QFETCH(int, rows);
        QFETCH(QList<int>, hiddenCols);
        QFETCH(bool, sortDescending);
        QFETCH(QString, expected);
        GridModel g = grid(std::max(rows, 2), 3);
        if (rows < 2) {
            g.setText(1, 0, QStringLiteral("left over")); // the placeholder's old text
            g.setRowHeight(1, 0);
        }
        for (int c : hiddenCols)
            g.setColWidth(c, 0);
        if (sortDescending) g.sort(0, 8);
        CsvWriter w;
        w.addShownGrid(g);
        QCOMPARE(body(w), expected);
    }

    // Right-aligned columns are numeric: numbers as plain numbers, other
    // texts guarded like any text; the header is text.
    void numericColumns() {
        GridModel g = grid(4, 2);
        g.setColAlignment(0, Qt::AlignRight);
        g.setText(0, 0, "-H");
        const QStringList values = {"-500", "18,738", "=1+2"};
        for (int r = 1; r < 4; ++r) {
            g.setText(r, 0, values[r - 1]);
            g.setText(r, 1, values[r - 1]);
        }
        CsvWriter w;
        w.addShownGrid(g);
        QCOMPARE(body(w),
                 QStringLiteral("'-H,H1\r\n-500,'-500\r\n18738,\"18,738\"\r\n'=1+2,'=1+2\r\n"));
    }

    void savedWhole() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("購入.csv"));
        CsvWriter w;
        w.addRow(QStringList{"番号", "品名"});
        w.addRow(QStringList{"1", "牛乳"});
        QString why;
        QVERIFY(w.save(path, &why));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), Bom + QStringLiteral("番号,品名\r\n1,牛乳\r\n").toUtf8());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"購入.csv"});
    }

    // A target that cannot be written gives the reason and leaves no file;
    // an old file of the name stays as it was, and no temporary file stays.
    void failedWritesLeaveNothing_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("oldFile");
        QTest::addColumn<int>("sizeLimit");
        QTest::addColumn<int>("rows");
        QTest::addRow("missing folder") << "no/such/folder/a.csv" << false << 0 << 2000;
        QTest::addRow("a folder") << "folder" << false << 0 << 2000;
        // a large file comes up short while it is written, a small one when
        // it is flushed
        QTest::addRow("short write, new file") << "a.csv" << false << 4096 << 2000;
        QTest::addRow("short write over an old file") << "a.csv" << true << 4096 << 2000;
        QTest::addRow("short flush over an old file") << "a.csv" << true << 64 << 5;
    }
    void failedWritesLeaveNothing() {
        QFETCH(QString, target);
        QFETCH(bool, oldFile);
        QFETCH(int, sizeLimit);
        QFETCH(int, rows);
        QTemporaryDir dir;
        QDir(dir.path()).mkdir(QStringLiteral("folder"));
        const QString path = dir.filePath(target);
        const QByteArray old = "the user's own file";
        if (oldFile) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(old);
        }
        const QStringList before =
            QDir(dir.path())
                .entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
        CsvWriter w;
        for (int r = 0; r < rows; ++r)
            w.addRow(QStringList{QString::number(r), QStringLiteral("牛乳,パン")});
        QString why;
        bool written;
        {
            std::unique_ptr<FileSizeLimit> limit;
            if (sizeLimit) limit = std::make_unique<FileSizeLimit>(sizeLimit);
            written = w.save(path, &why);
        }
        QVERIFY(!written);
        QVERIFY2(!why.isEmpty(), "the reason is given");
        QCOMPARE(QDir(dir.path())
                     .entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden),
                 before);
        if (oldFile) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), old);
        }
    }

    void wholeFileReplacesTheOld() {
        QTemporaryDir dir;
        const QString path = dir.filePath("x.csv");
        QVERIFY(writeWholeFile(path, "first, longer text"));
        QVERIFY(writeWholeFile(path, "second"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("second"));
    }
};

QTEST_GUILESS_MAIN(TestCsv)
#include "tst_csv.moc"
