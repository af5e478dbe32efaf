#pragma once

// A journal of eight rows at fixed times around the turn of a month and of a year, for the suites that read
// it: about the user anna (initials AN today; renamed anne in the end), the function 5 and others.

#include "TestSupport.h"

#include "Journal.h"

namespace testsupport {

inline void appendHistory(Db &db)
{
    db.conn.execute(QStringLiteral("insert into Benutzer (User, Initialien) values (\"Anna\", \"AN\")"));
    using namespace schema;
    store::Connection::Transaction transaction(db.conn, QString());
    const auto row = [&db](const char *zeit, const char *by, const QString &tabelle, const QVariant &zeile,
                           const QString &aktion, const char *change) {
        journal::append(db.conn, {QString::fromLatin1(zeit), QString::fromLatin1(by), QStringLiteral("clara"),
                                  QStringLiteral("pc1"), QStringLiteral("sicherheit"), tabelle, zeile, aktion,
                                  QString::fromUtf8(change)});
    };
    row("2026-11-30T23:59:59.999Z", "chef", kBenutzer, 7, aktion::kAngelegt,
        R"({"User":"anna","Initialien":"AN","Admin":false,"NTUser":null})");
    row("2026-12-01T00:00:00.000Z", "Chef", kBenutzer, 7, aktion::kGeaendert,
        R"({"User":"anna","RealName":["Anna","Anna B.\nzwei"]})");
    row("2026-12-01T08:30:00.000Z", "bert", kBenutzer, QVariant(), aktion::kAnmeldungAbgelehnt,
        R"({"User":"ANNA","Grund":"Kennwort falsch"})");
    row("2026-12-01T09:00:00.000Z", "chef", kFunktionenBenutzer, 20, aktion::kAngelegt,
        R"({"id":20,"Funktion":5,"User":"an"})");
    row("2026-12-02T00:00:00.000Z", "chef", kFunktionen, 5, aktion::kGeaendert,
        R"({"Titel":["Alt","Anna"],"inGruppe":0,"id":5})");
    row("2026-12-31T12:00:00.000Z", "bert", kFunktionenBenutzer, 21, aktion::kGeloescht,
        R"({"id":21,"Funktion":15,"User":"BE"})");
    row("2027-01-01T00:00:00.000Z", "chef", kBenutzer, 7, aktion::kGeaendert,
        R"({"User":["anna","anne"],"RealName":"Anna B."})");
    row("2027-01-01T00:00:00.001Z", "chef", kFunktionenBenutzer, 22, aktion::kGeaendert,
        R"({"id":22,"Funktion":[15,5],"User":"BE"})");
    transaction.commit();
}

} // namespace testsupport
