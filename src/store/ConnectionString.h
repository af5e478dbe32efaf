#pragma once

#include <QString>

namespace store {

// The parts of a connection string that the store uses. Keys are matched without regard to case; a value
// may stand in double or single quotes (the quote doubled inside), so that a path holding ";" works.
struct ConnectionString
{
    QString provider;
    QString dataSource;
    QString password;

    // Throws StoreError for a malformed string.
    static ConnectionString parse(const QString &text);

    // A value as it must stand in a connection string: quoted when it holds ";", a quote, or blanks at its
    // ends; unchanged otherwise.
    static QString quoteValue(const QString &value);
};

// The provider name that selects this store's engine.
inline constexpr const char *kJetProvider = "Microsoft.Jet.OLEDB.4.0";

} // namespace store
