// The rights window's lists without the window: what a filter keeps, the order a header click gives, and
// the CSV text a spreadsheet program reads.

#include "Csv.h"
#include "StoreError.h"
#include "Suites.h"
#include "TextGrid.h"
#include "Words.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using rechte::TextGrid;
using testsupport::words;

namespace {

// One column of the rows on show.
QStringList firstColumn(const TextGrid &grid, int column = 0)
{
    QStringList out;
    for (int row : grid.shown())
        out << grid.text(row, column);
    return out;
}

TextGrid people()
{
    TextGrid grid({QStringLiteral("Benutzer"), QStringLiteral("Name"), QStringLiteral("Initialien")});
    grid.addRow({QStringLiteral("Zoe"), QStringLiteral("Zoe Ähnlich"), QStringLiteral("ZA")});
    grid.addRow({QStringLiteral("ärger"), QStringLiteral("Max Ärger"), QStringLiteral("MÄ")});
    grid.addRow({QStringLiteral("Anton"), QStringLiteral("Anton Bauer"), QStringLiteral("AB")});
    grid.addRow({QStringLiteral("MÜLLER"), QStringLiteral("Hans"), QStringLiteral("HM")});
    grid.addRow({QStringLiteral("müller"), QStringLiteral("Grete"), QStringLiteral("GM")});
    return grid;
}

} // namespace

class TestLists : public QObject
{
    Q_OBJECT

private slots:
    void aFilterKeepsTheRowsThatHoldTheTextInAnyColumn_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("nothing typed") << QString() << words({"Zoe", "ärger", "Anton", "MÜLLER", "müller"});
        QTest::newRow("another letter case") << "MÜL" << words({"MÜLLER", "müller"});
        QTest::newRow("umlaut in capitals matches small") << "äR" << words({"ärger"});
        QTest::newRow("umlaut is not its plain letter") << "arger" << QStringList{};
        QTest::newRow("full name") << "bauer" << words({"Anton"});
        QTest::newRow("initials") << "za" << words({"Zoe"});
        QTest::newRow("in two columns of one row, listed once") << "anton" << words({"Anton"});
        QTest::newRow("no row") << "xyz" << QStringList{};
    }
    void aFilterKeepsTheRowsThatHoldTheTextInAnyColumn()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, shown);
        TextGrid grid = people();
        grid.setFilter(filter);
        QCOMPARE(firstColumn(grid), shown);
    }

    void aHeaderSortsInGermanOrderAndKeepsTheOrderOfEqualValues_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("descending");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("user, ä beside a, case ignored")
            << 0 << false << words({"Anton", "ärger", "MÜLLER", "müller", "Zoe"});
        QTest::newRow("user, descending, equal values as before")
            << 0 << true << words({"Zoe", "MÜLLER", "müller", "ärger", "Anton"});
        QTest::newRow("full name") << 1 << false << words({"Anton", "müller", "MÜLLER", "ärger", "Zoe"});
    }
    void aHeaderSortsInGermanOrderAndKeepsTheOrderOfEqualValues()
    {
        QFETCH(int, column);
        QFETCH(bool, descending);
        QFETCH(QStringList, order);
        TextGrid grid = people();
        grid.sortBy(column, descending);
        QCOMPARE(firstColumn(grid), order);
    }

    void csvCellsAreQuotedOnlyWhereNeeded_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("cell");
        QTest::newRow("plain") << "Ändern"
                               << "Ändern";
        QTest::newRow("separator") << "a;b"
                                   << "\"a;b\"";
        QTest::newRow("quote doubled") << "Meier \"jun.\""
                                       << "\"Meier \"\"jun.\"\"\"";
        QTest::newRow("line break") << "zwei\nZeilen"
                                    << "\"zwei\nZeilen\"";
        QTest::newRow("formula shown as text") << "=SUMME(A1)"
                                               << "'=SUMME(A1)";
        QTest::newRow("minus starts a formula") << "-2+3"
                                                << "'-2+3";
        QTest::newRow("plus starts a formula") << "+A1"
                                               << "'+A1";
        QTest::newRow("formula and separator") << "@a;b"
                                               << "\"'@a;b\"";
    }
    void csvCellsAreQuotedOnlyWhereNeeded()
    {
        QFETCH(QString, value);
        QFETCH(QString, cell);
        TextGrid grid({QStringLiteral("Wert"), QStringLiteral("Id")});
        grid.addRow({value, QStringLiteral("7")});
        grid.addRow({QStringLiteral("weg"), QStringLiteral("8")});
        grid.setFilter(QStringLiteral("7"));
        // A byte order mark, the headers, the rows on show only, CR LF.
        QCOMPARE(rechte::toCsv(grid),
                 QString(QChar(0xFEFF)) + QStringLiteral("Wert;Id\r\n") + cell + QStringLiteral(";7\r\n"));
    }

    // A list holds names and rights: others never get a right to it, new or replaced, whatever the umask.
    void aCsvFileIsNeverOpenToOthers_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<bool>("replacing");
        for (const int mask : {022, 002, 077}) {
            QTest::addRow("new, umask %03o", mask) << mask << false;
            QTest::addRow("replacing one open to all, umask %03o", mask) << mask << true;
        }
    }
    void aCsvFileIsNeverOpenToOthers()
    {
        QFETCH(int, mask);
        QFETCH(bool, replacing);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("liste.csv"));
        if (replacing) {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            QVERIFY(old.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                       QFile::ReadOther));
        }
        const mode_t before = ::umask(static_cast<mode_t>(mask));
        rechte::writeCsv(path, QStringLiteral("neu"));
        ::umask(before);
        struct stat info
        {
        };
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 0777), 0660 & ~mask);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("liste.csv")});
    }

    void aCsvFileIsUtf8AndOneThatCannotBeWrittenSaysWhy()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("liste.csv"));
        rechte::writeCsv(path, QStringLiteral("\uFEFFÄnderung"));
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), QByteArray("\xEF\xBB\xBF\xC3\x84nderung"));
        const QString nowhere = dir.filePath(QStringLiteral("fehlt/liste.csv"));
        try {
            rechte::writeCsv(nowhere, QStringLiteral("neu"));
            QFAIL("no error");
        } catch (const store::StoreError &e) {
            QVERIFY2(e.message().startsWith(
                         QStringLiteral("Die Datei „%1“ kann nicht geschrieben werden").arg(nowhere)),
                     qPrintable(e.message()));
        }
        QVERIFY(!QFile::exists(nowhere));
    }
};

int runListTests(int argc, char **argv)
{
    TestLists tests;
    return QTest::qExec(&tests, testsupport::suiteArguments(argc, argv));
}

#include "tst_lists.moc"
