// The page "Verlauf" without the window: which journal rows each filter keeps, alone and together, newest
// first, and how the detail pane shows each kind of change.

#include "AnyCaseFind.h"
#include "HistoryModel.h"
#include "Suites.h"
#include "TestSupport.h"

#include <QAbstractItemModelTester>
#include <QTemporaryDir>
#include <QTest>

using rechte::HistoryModel;

namespace {

struct Written
{
    const char *zeit;
    const char *administrator;
    const QString &tabelle;
    int zeile; // 0: none
    const QString &aktion;
    const char *aenderung;
};

// Eight rows, ids 1 to 8, one a day from 1 December 2026. Anna (id 7, initials AN) is made, given a
// function (10, "Kunden"), renamed, refused at a logon and losing the function again; berta is made.
void fill(testsupport::Db &db)
{
    using namespace schema::aktion;
    db.conn.execute(QStringLiteral("INSERT INTO Benutzer (id, User, Initialien, RealName) VALUES (7, 'anna', "
                                   "'AN', 'Anna Berg')"));
    const Written rows[] = {
        {"2026-12-01T08:00:00.000Z", "chef", schema::kBenutzer, 7, kAngelegt,
         R"({"id":7,"User":"anna","Initialien":"AN","RealName":"Anna","Admin":false,"Passwort":"Kennwort geändert"})"},
        {"2026-12-02T08:00:00.000Z", "chef", schema::kFunktionen, 10, kAngelegt,
         R"({"Titel": "Kunden", "inGruppe": 0, "id": 10})"},
        {"2026-12-03T08:00:00.000Z", "Root", schema::kFunktionenBenutzer, 1, kAngelegt,
         R"({"id":1,"Funktion":10,"User":"AN"})"},
        {"2026-12-04T08:00:00.000Z", "ROOT", schema::kBenutzer, 7, kGeaendert,
         R"({"User":"anna","RealName":["Anna","Anna Berg"],"NTUser":null})"},
        {"2026-12-05T08:00:00.000Z", "", schema::kBenutzer, 0, kAnmeldungAbgelehnt,
         R"({"User":"anna","Grund":"Kennwort falsch"})"},
        {"2026-12-06T08:00:00.000Z", "chef", schema::kBenutzer, 8, kAngelegt,
         R"({"User":"berta","Initialien":"BB"})"},
        {"2026-12-07T08:00:00.000Z", "chef", schema::kFunktionenBenutzer, 1, kGeloescht,
         R"({"id":1,"Funktion":10,"User":"AN"})"},
        {"2026-12-08T08:00:00.000Z", "chef", QString(), 0, kImport, R"({"Zeilen":12,"SHA-256":"ab12"})"},
    };
    store::Connection::Transaction transaction(db.conn, QString());
    for (const Written &w : rows)
        journal::append(
            db.conn, {QString::fromLatin1(w.zeit), QString::fromUtf8(w.administrator),
                      QStringLiteral("clara"), QStringLiteral("pc1"), QStringLiteral("sicherheit"), w.tabelle,
                      w.zeile ? QVariant(w.zeile) : QVariant(), w.aktion, QString::fromUtf8(w.aenderung)});
    transaction.commit();
}

QList<qint64> ids(const HistoryModel &model)
{
    QList<qint64> out;
    for (int r = 0; r < model.shownCount(); ++r)
        out << model.row(r).id;
    return out;
}

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

private slots:
    void theFiltersNarrowNewestFirst_data()
    {
        QTest::addColumn<QString>("since");
        QTest::addColumn<QString>("until");
        QTest::addColumn<QString>("by");
        QTest::addColumn<QString>("aktion");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("user");
        QTest::addColumn<int>("function");
        QTest::addColumn<QList<qint64>>("expected");
        const QString none;
        const QString day3 = QStringLiteral("2026-12-03T00:00:00.000Z");
        const QString day5 = QStringLiteral("2026-12-05T00:00:00.000Z");
        QTest::newRow("none") << none << none << none << none << none << none << 0
                              << QList<qint64>{8, 7, 6, 5, 4, 3, 2, 1};
        QTest::newRow("from") << day3 << none << none << none << none << none << 0
                              << QList<qint64>{8, 7, 6, 5, 4, 3};
        QTest::newRow("until, without its own moment")
            << none << day3 << none << none << none << none << 0 << QList<qint64>{2, 1};
        QTest::newRow("administrator, any case")
            << none << none << QStringLiteral("root") << none << none << none << 0 << QList<qint64>{4, 3};
        QTest::newRow("action") << none << none << none << QStringLiteral("angelegt") << none << none << 0
                                << QList<qint64>{6, 3, 2, 1};
        QTest::newRow("text, any case")
            << none << none << none << none << QStringLiteral("ANNA") << none << 0 << QList<qint64>{5, 4, 1};
        QTest::newRow("text with an umlaut, any case")
            << none << none << none << none << QStringLiteral("GEÄNDERT") << none << 0 << QList<qint64>{1};
        QTest::newRow("a truth value as it reads")
            << none << none << none << none << QStringLiteral("FALSE") << none << 0 << QList<qint64>{1};
        QTest::newRow("null is no value")
            << none << none << none << none << QStringLiteral("null") << none << 0 << QList<qint64>{};
        QTest::newRow("a space beside JSON's punctuation is not searched")
            << none << none << none << none << QStringLiteral(" 10") << none << 0 << QList<qint64>{};
        QTest::newRow("JSON's own punctuation is not searched")
            << none << none << none << none << QStringLiteral("\",\"") << none << 0 << QList<qint64>{};
        QTest::newRow("text matching nothing")
            << none << none << none << none << QStringLiteral("zz") << none << 0 << QList<qint64>{};
        QTest::newRow("user: its row, its logon, its initials' assignments")
            << none << none << none << none << none << QStringLiteral("Anna") << 0
            << QList<qint64>{7, 5, 4, 3, 1};
        QTest::newRow("function: its row and its assignments")
            << none << none << none << none << none << none << 10 << QList<qint64>{7, 3, 2};
        QTest::newRow("all at once") << day3 << day5 << QStringLiteral("ROOT") << QStringLiteral("geändert")
                                     << QStringLiteral("berg") << QStringLiteral("anna") << 0
                                     << QList<qint64>{4};
        QTest::newRow("period and user")
            << day5 << none << none << none << none << QStringLiteral("anna") << 0 << QList<qint64>{7, 5};
    }
    void theFiltersNarrowNewestFirst()
    {
        QFETCH(QString, since);
        QFETCH(QString, until);
        QFETCH(QString, by);
        QFETCH(QString, aktion);
        QFETCH(QString, text);
        QFETCH(QString, user);
        QFETCH(int, function);
        QFETCH(QList<qint64>, expected);
        testsupport::Db db;
        fill(db);
        HistoryModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.load(db.conn);
        QCOMPARE(model.total(), 8);
        journal::Filter filter;
        filter.since = since;
        filter.until = until;
        filter.by = by;
        filter.aktion = aktion;
        filter.text = text;
        filter.user = user;
        if (function)
            filter.function = function;
        model.setFilter(filter);
        model.restrict(db.conn, filter);
        QCOMPARE(ids(model), expected);
        // The command line's reading answers the same question with the same rows.
        QList<qint64> read;
        filter.resolve(db.conn);
        journal::forEach(db.conn, filter, journal::Order::NewestFirst, [&](const journal::Row &r) {
            read << r.id;
            return true;
        });
        QCOMPARE(ids(model), read);
        // Read again, the narrowing and the restriction stay.
        model.load(db.conn);
        QCOMPARE(ids(model), expected);
    }

    // Typing narrows from the rows on show; taking letters back or lifting the restriction looks at all
    // rows again.
    void typingNarrowsAndWidensAgain()
    {
        testsupport::Db db;
        fill(db);
        HistoryModel model;
        model.load(db.conn);
        journal::Filter filter;
        const QList<std::pair<QString, QList<qint64>>> steps{
            {QStringLiteral("a"), {8, 7, 6, 5, 4, 3, 1}}, {QStringLiteral("an"), {7, 5, 4, 3, 1}},
            {QStringLiteral("ann"), {5, 4, 1}},           {QStringLiteral("anna b"), {4}},
            {QStringLiteral("an"), {7, 5, 4, 3, 1}},      {QString(), {8, 7, 6, 5, 4, 3, 2, 1}}};
        for (const auto &[text, expected] : steps) {
            filter.text = text;
            model.setFilter(filter);
            QCOMPARE(ids(model), expected);
        }
        journal::Filter about;
        about.function = 10;
        model.restrict(db.conn, about);
        QCOMPARE(ids(model), (QList<qint64>{7, 3, 2}));
        model.restrict(db.conn, journal::Filter{});
        QCOMPARE(ids(model), (QList<qint64>{8, 7, 6, 5, 4, 3, 2, 1}));
    }

    void theDetailShowsEachKindOfChange_data()
    {
        QTest::addColumn<qint64>("id");
        QTest::addColumn<QString>("fields");
        QTest::addColumn<QString>("summary");
        QTest::newRow("a whole row, in its table's order")
            << qint64{1}
            << "id: 7\nUser: anna\nInitialien: AN\nPasswort: Kennwort geändert\nRealName: Anna\nAdmin: nein"
            << "id: 7; User: anna; Initialien: AN; Passwort: Kennwort geändert; RealName: Anna; Admin: nein";
        QTest::newRow("changed, the rest as context")
            << qint64{4}
            << "RealName: Anna → Anna Berg\nUser: anna (unverändert)\nNTUser: (leer) (unverändert)"
            << "RealName: Anna → Anna Berg";
        QTest::newRow("a refused logon: the name typed and why")
            << qint64{5} << "Name: anna\nGrund: Kennwort falsch"
            << "Name: anna; Grund: Kennwort falsch";
        QTest::newRow("an import") << qint64{8} << "SHA-256: ab12\nZeilen: 12"
                                   << "SHA-256: ab12; Zeilen: 12";
    }
    void theDetailShowsEachKindOfChange()
    {
        QFETCH(qint64, id);
        QFETCH(QString, fields);
        QFETCH(QString, summary);
        testsupport::Db db;
        fill(db);
        HistoryModel model;
        model.load(db.conn);
        const journal::Row row = model.row(model.shownRowOf(id));
        const QStringList detail = HistoryModel::detail(row).split(u'\n');
        // Who, where and what first, a blank line, then the fields.
        QCOMPARE(detail.size() > 8, true);
        QCOMPARE(detail[0], QStringLiteral("Zeit (UTC): 0%1.12.2026 08:00:00").arg(id));
        QCOMPARE(detail[2], QStringLiteral("Konto: clara@pc1"));
        QCOMPARE(detail[6], QStringLiteral("Aktion: %1").arg(row.entry.aktion));
        QCOMPARE(detail.mid(8).join(u'\n'), fields);
        QCOMPARE(HistoryModel::summary(row), summary);
    }

    // The quick search answers as QString does, in either store of the text.
    void aTextIsFoundInAnyCaseAsQStringFindsIt_data()
    {
        QTest::addColumn<QString>("haystack");
        QTest::addColumn<QString>("text");
        QTest::newRow("other case") << "Anna Berg"
                                    << "aNNA b";
        QTest::newRow("umlaut, other case") << "Kennwort geändert"
                                            << "GEÄNDERT";
        QTest::newRow("at the very end") << "0123456789abcdefghij"
                                         << "HIJ";
        QTest::newRow("at the very start, long") << "Becker 12 und noch viel mehr Text dahinter"
                                                 << "becker";
        QTest::newRow("one letter missing") << "Anna Berg"
                                            << "anna bx";
        QTest::newRow("Kelvin sign is a k") << QString::fromUtf8("Ma\u212Aus") << "MAKUS";
        QTest::newRow("long s is an s") << QString::fromUtf8("Ro\u017Fe") << "rose";
        QTest::newRow("wide text") << QString::fromUtf8("Ärger €uro Becker") << "becker";
        QTest::newRow("longer than the text") << "abc"
                                              << "abcd";
    }
    void aTextIsFoundInAnyCaseAsQStringFindsIt()
    {
        QFETCH(QString, haystack);
        QFETCH(QString, text);
        rechte::TextBlocks blocks;
        const rechte::StoredText stored = blocks.add(haystack);
        const rechte::AnyCaseFind find(text);
        const bool expected = haystack.contains(text, Qt::CaseInsensitive);
        QCOMPARE(stored.isWide() ? find.in(stored.utf16()) : find.in(stored.latin1()), expected);
        QCOMPARE(find.in(QStringView(haystack)), expected);
    }
};

int runHistoryTests(int argc, char **argv)
{
    TestHistory tests;
    return QTest::qExec(&tests, testsupport::suiteArguments(argc, argv));
}

#include "tst_history.moc"
