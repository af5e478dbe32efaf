#include "Journal.h"

#include "Connection.h"
#include "Query.h"
#include "Schema.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QtEndian>

#include <array>

namespace journal {

namespace {

void addField(QCryptographicHash &hash, QByteArrayView bytes)
{
    std::array<char, 8> length{};
    qToBigEndian<qint64>(bytes.size(), length.data());
    hash.addData(QByteArrayView(length.data(), length.size()));
    hash.addData(bytes);
}

void addNull(QCryptographicHash &hash)
{
    std::array<char, 8> length{};
    qToBigEndian<qint64>(-1, length.data());
    hash.addData(QByteArrayView(length.data(), length.size()));
}

void addText(QCryptographicHash &hash, const QString &text)
{
    addField(hash, text.toUtf8());
}

void addInteger(QCryptographicHash &hash, qint64 value)
{
    addField(hash, QByteArray::number(value));
}

QStringList entryQuery(const QString &what, const QString &order)
{
    return {QStringLiteral("select %1 from %2 order by %3%4")
                .arg(what, schema::kProtokoll, schema::protokoll::kId, order)};
}

} // namespace

QString now()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

QString checksum(const QString &previous, qint64 id, const Entry &entry)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    addText(hash, previous);
    addInteger(hash, id);
    for (const QString *text :
         {&entry.zeit, &entry.administrator, &entry.konto, &entry.rechner, &entry.programm, &entry.tabelle})
        addText(hash, *text);
    if (entry.zeile.isNull())
        addNull(hash);
    else
        addInteger(hash, entry.zeile.toLongLong());
    addText(hash, entry.aktion);
    addText(hash, entry.aenderung);
    return QString::fromLatin1(hash.result().toHex());
}

qint64 append(store::Connection &db, const Entry &entry, std::optional<Tail> *tail)
{
    using namespace schema::protokoll;
    std::optional<Tail> read;
    std::optional<Tail> &known = tail ? *tail : read;
    if (!known) {
        known.emplace();
        store::Query last(
            db, schema::kProtokoll,
            entryQuery(QStringLiteral("top 1 %1, %2").arg(kId, kPruefsumme), QStringLiteral(" desc")));
        if (last.next()) {
            known->id = last.value(last.field(kId)).toLongLong();
            known->checksum = last.asString(last.field(kPruefsumme));
        }
    }
    const qint64 lastId = known->id;
    const QString previous = known->checksum;
    // The id is given, not left to the database, because the check sum covers it.
    const qint64 id = lastId + 1;
    const QString sum = checksum(previous, id, entry);
    const QStringList literals{QString::number(id),
                               schema::literal(entry.zeit),
                               schema::literal(entry.administrator),
                               schema::literal(entry.konto),
                               schema::literal(entry.rechner),
                               schema::literal(entry.programm),
                               schema::literal(entry.tabelle),
                               entry.zeile.isNull() ? schema::literal(QVariant())
                                                    : QString::number(entry.zeile.toLongLong()),
                               schema::literal(entry.aktion),
                               schema::literal(entry.aenderung),
                               schema::literal(sum)};
    db.execute(schema::insertRow(schema::kProtokoll, schema::protokollFields(), literals).join(u' '));
    *known = Tail{id, sum};
    return id;
}

std::optional<qint64> firstBroken(store::Connection &db)
{
    if (!db.hasTable(schema::kProtokoll))
        return std::nullopt;
    using namespace schema::protokoll;
    store::Query rows(db, schema::kProtokoll, entryQuery(QStringLiteral("*"), QString()));
    const int id = rows.field(kId), zeit = rows.field(kZeit), administrator = rows.field(kAdministrator),
              konto = rows.field(kKonto), rechner = rows.field(kRechner), programm = rows.field(kProgramm),
              tabelle = rows.field(kTabelle), zeile = rows.field(kZeile), aktion = rows.field(kAktion),
              aenderung = rows.field(kAenderung), pruefsumme = rows.field(kPruefsumme);
    QString previous;
    Entry entry;
    while (rows.next()) {
        entry.zeit = rows.asString(zeit);
        entry.administrator = rows.asString(administrator);
        entry.konto = rows.asString(konto);
        entry.rechner = rows.asString(rechner);
        entry.programm = rows.asString(programm);
        entry.tabelle = rows.asString(tabelle);
        entry.zeile = rows.value(zeile);
        entry.aktion = rows.asString(aktion);
        entry.aenderung = rows.asString(aenderung);
        const qint64 rowId = rows.value(id).toLongLong();
        const QString stored = rows.asString(pruefsumme);
        if (stored != checksum(previous, rowId, entry))
            return rowId;
        previous = stored;
    }
    return std::nullopt;
}

} // namespace journal
