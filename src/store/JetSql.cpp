#include "JetSql.h"

#include "Collation.h"
#include "Quoted.h"
#include "StoreError.h"

#include <QSet>

namespace store {

void refuseStatement(const QString &why, const QString &statement)
{
    // Control characters would not show, and the character 0 would end the message early.
    QString shown = statement.simplified();
    for (QChar &c : shown) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QChar::ReplacementCharacter;
    }
    throw StoreError(QStringLiteral("SQL-Anweisung wird nicht unterstützt (%1): %2").arg(why, shown));
}

bool isStatementEnd(QByteArrayView rest)
{
    bool semicolon = false;
    for (char c : rest) {
        if (c == ';' && !semicolon)
            semicolon = true;
        else if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            return false;
    }
    return true;
}

namespace {

enum class Tok
{
    Word,
    QuotedName,
    String,
    Number,
    Symbol
};

// A token points into the statement it was read from, which must outlive it; only a string literal has
// a text of its own, its value with the doubled quotes made single.
struct Token
{
    Tok type;
    QStringView text; // as written; a name without its brackets or back quotes
    QString value;    // String only
};

bool isWordStart(QChar c)
{
    return c.isLetter() || c == u'_';
}
bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

// The longest name the dialect knows.
constexpr qsizetype kMaxNameLength = 64;

// A character for a message: control characters by their code, since they would not show.
QString shown(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7F
               ? QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper()
               : quoted(QString(c));
}

// Why a name written in brackets or back quotes is not one of the dialect (empty when it is one): the
// dialect's names hold no control characters, start with no blank, and keep ".", "!", the quotes and
// brackets for qualifying and quoting. Inside these limits any character is part of the name.
QString nameFault(QStringView name)
{
    if (name.isEmpty())
        return QStringLiteral("leerer Name");
    if (name.size() > kMaxNameLength)
        return QStringLiteral("Name länger als %1 Zeichen").arg(kMaxNameLength);
    if (name.front().isSpace())
        return QStringLiteral("Name beginnt mit einem Leerzeichen");
    for (QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || QStringView(u".![]`\"").contains(c))
            return QStringLiteral("Zeichen %1 in einem Namen").arg(shown(c));
    }
    return QString();
}

// Reads the statement into tokens. A statement it cannot read gives false, the reason in *why. Every
// reader of statements goes through here, so that what is reused and what is translated are read alike.
bool scan(const QString &s, std::vector<Token> *out, QString *why)
{
    out->reserve(32);
    const qsizetype n = s.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = s[i];
        if (c.isSpace()) {
            ++i;
        } else if (c == u'"' || c == u'\'') {
            const qsizetype start = i;
            QString value;
            if (!readQuoted(s, &i, &value)) {
                *why = QStringLiteral("Zeichenkette ohne Ende");
                return false;
            }
            out->push_back({Tok::String, QStringView(s).mid(start, i - start), std::move(value)});
        } else if (c == u'[' || c == u'`') {
            const qsizetype end = s.indexOf(c == u'[' ? u']' : u'`', i + 1);
            if (end < 0) {
                *why = QStringLiteral("Name ohne Ende");
                return false;
            }
            const QStringView name = QStringView(s).mid(i + 1, end - i - 1);
            *why = nameFault(name);
            if (!why->isEmpty())
                return false;
            out->push_back({Tok::QuotedName, name, {}});
            i = end + 1;
        } else if (c.isDigit() || (c == u'.' && i + 1 < n && s[i + 1].isDigit())) {
            qsizetype j = i;
            while (j < n && (s[j].isDigit() || s[j] == u'.'))
                ++j;
            out->push_back({Tok::Number, QStringView(s).mid(i, j - i), {}});
            i = j;
        } else if (isWordStart(c)) {
            qsizetype j = i + 1;
            while (j < n && isWordChar(s[j]))
                ++j;
            if (j - i > kMaxNameLength) {
                *why = QStringLiteral("Name länger als %1 Zeichen").arg(kMaxNameLength);
                return false;
            }
            out->push_back({Tok::Word, QStringView(s).mid(i, j - i), {}});
            i = j;
        } else {
            if (!QStringView(u"=<>!(),.*+-/&;%").contains(c)) {
                *why = QStringLiteral("unerwartetes Zeichen %1").arg(shown(c));
                return false;
            }
            qsizetype len = 1;
            if (i + 1 < n) {
                const QStringView two = QStringView(s).mid(i, 2);
                if (two == u"<>" || two == u"<=" || two == u">=" || two == u"!=")
                    len = 2;
            }
            out->push_back({Tok::Symbol, QStringView(s).mid(i, len), {}});
            i += len;
        }
    }
    return true;
}

std::vector<Token> tokenize(const QString &s)
{
    std::vector<Token> out;
    QString why;
    if (!scan(s, &out, &why))
        refuseStatement(why, s);
    return out;
}

const QSet<QString> &keywords()
{
    static const QSet<QString> k = {
        QStringLiteral("SELECT"), QStringLiteral("DISTINCT"), QStringLiteral("FROM"),
        QStringLiteral("WHERE"),  QStringLiteral("AND"),      QStringLiteral("OR"),
        QStringLiteral("NOT"),    QStringLiteral("IN"),       QStringLiteral("IS"),
        QStringLiteral("NULL"),   QStringLiteral("LIKE"),     QStringLiteral("BETWEEN"),
        QStringLiteral("ORDER"),  QStringLiteral("BY"),       QStringLiteral("ASC"),
        QStringLiteral("DESC"),   QStringLiteral("GROUP"),    QStringLiteral("HAVING"),
        QStringLiteral("AS"),     QStringLiteral("INNER"),    QStringLiteral("LEFT"),
        QStringLiteral("RIGHT"),  QStringLiteral("OUTER"),    QStringLiteral("JOIN"),
        QStringLiteral("ON"),     QStringLiteral("UPDATE"),   QStringLiteral("SET"),
        QStringLiteral("DELETE"), QStringLiteral("INSERT"),   QStringLiteral("INTO"),
        QStringLiteral("VALUES"), QStringLiteral("TRUE"),     QStringLiteral("FALSE"),
        QStringLiteral("TOP"),    QStringLiteral("COUNT"),    QStringLiteral("MIN"),
        QStringLiteral("MAX"),    QStringLiteral("SUM"),      QStringLiteral("AVG")};
    return k;
}

// Whether SQLite's NOCASE compares the text as the store's collation does: printable ASCII only (NOCASE
// would stop at the character 0, and does not fold letters beyond ASCII).
bool isPlainAscii(const QString &s)
{
    for (QChar c : s) {
        if (c.unicode() >= 0x7F || c.unicode() < 0x20)
            return false;
    }
    return true;
}

QVariant numberValue(QStringView text, bool *ok)
{
    const qint64 v = text.toLongLong(ok);
    if (*ok)
        return v;
    const double d = text.toDouble(ok);
    return *ok ? QVariant(d) : QVariant();
}

// Clause we are in, for deciding where collation and inline numbers belong.
enum class Clause
{
    Other,
    Where,
    OrderBy
};

} // namespace

QString statementShape(const QString &s, std::vector<QVariant> *literals)
{
    std::vector<Token> tokens;
    QString why;
    if (!scan(s, &tokens, &why))
        return QString();
    // The scanner lets no control character outside a literal through, so these marks cannot be
    // confused with the statement's own text.
    QString key;
    key.reserve(s.size() + static_cast<qsizetype>(tokens.size()));
    for (const Token &t : tokens) {
        switch (t.type) {
        case Tok::String:
            key += u'\x01';
            key += isPlainAscii(t.value) ? u'a' : u'u';
            literals->emplace_back(t.value);
            break;
        case Tok::Number: {
            bool ok = false;
            const QVariant v = numberValue(t.text, &ok);
            if (!ok)
                return QString();
            key += u'\x02';
            literals->push_back(v);
            break;
        }
        case Tok::QuotedName:
            key += u'\x03';
            key += t.text;
            break;
        case Tok::Word:
        case Tok::Symbol:
            key += t.text;
            break;
        }
        key += u'\x1F';
    }
    return key;
}

QString jetQuoted(const QString &value)
{
    QString v = value;
    v.replace(u'"', QStringLiteral("\"\""));
    return v;
}

TranslatedSql translateJetSql(const QString &statement, const TextColumnPredicate &isTextColumn)
{
    std::vector<Token> t = tokenize(statement);
    // One trailing ";" is part of the dialect; anything after it would be a second statement.
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].type == Tok::Symbol && t[i].text == u";") {
            if (i + 1 != t.size())
                refuseStatement(QStringLiteral("mehrere Anweisungen"), statement);
            t.pop_back();
        }
    }
    if (t.empty() || t[0].type != Tok::Word)
        refuseStatement(QStringLiteral("leere Anweisung"), statement);

    auto upper = [&](size_t i) {
        return i < t.size() && t[i].type == Tok::Word ? t[i].text.toString().toUpper() : QString();
    };
    auto isSym = [&](size_t i, const char *s) {
        return i < t.size() && t[i].type == Tok::Symbol && t[i].text == QLatin1String(s);
    };

    TranslatedSql out;
    const QString first = upper(0);
    size_t start = 0;
    QString head;
    if (first == u"SELECT") {
        out.kind = TranslatedSql::Kind::Select;
    } else if (first == u"INSERT") {
        out.kind = TranslatedSql::Kind::Insert;
    } else if (first == u"UPDATE") {
        out.kind = TranslatedSql::Kind::Update;
    } else if (first == u"DELETE") {
        // DELETE [columns | *] FROM table ...: SQLite deletes whole rows anyway, so the list goes.
        out.kind = TranslatedSql::Kind::Delete;
        size_t i = 1;
        while (i < t.size() && upper(i) != u"FROM")
            ++i;
        if (i == t.size())
            refuseStatement(QStringLiteral("DELETE ohne FROM"), statement);
        head = QStringLiteral("DELETE");
        start = i;
    } else {
        refuseStatement(QStringLiteral("nur SELECT, INSERT, UPDATE und DELETE"), statement);
    }

    QString sql = head;
    sql.reserve(statement.size() + 32);
    Clause clause = Clause::Other;
    // The clause around each open parenthesis, restored when it closes: a subquery's ORDER BY ends with it.
    std::vector<Clause> outerClauses;
    bool inSet = false;
    bool selectList = out.kind == TranslatedSql::Kind::Select;
    // TOP n of each SELECT still open, with the parenthesis depth it stands at: it becomes the LIMIT at
    // the end of that SELECT, which is where its parenthesis closes (or the statement ends).
    struct Limit
    {
        size_t depth;
        QString count;
    };
    std::vector<Limit> limits;
    auto append = [&](const QString &piece) {
        if (!sql.isEmpty())
            sql += u' ';
        sql += piece;
    };
    auto closeLimitsAt = [&](size_t depth) {
        if (!limits.empty() && limits.back().depth == depth) {
            sql += QStringLiteral(" LIMIT ") + limits.back().count;
            limits.pop_back();
        }
    };

    for (size_t i = start; i < t.size(); ++i) {
        const Token &tok = t[i];
        switch (tok.type) {
        case Tok::String:
            append(QStringLiteral("?"));
            out.params.emplace_back(tok.value);
            break;
        case Tok::Number: {
            if (clause == Clause::OrderBy) {
                append(tok.text.toString()); // a column position, not a value
                break;
            }
            bool ok = false;
            const QVariant v = numberValue(tok.text, &ok);
            if (!ok)
                refuseStatement(QStringLiteral("ungültige Zahl %1").arg(quoted(tok.text.toString())),
                                statement);
            out.params.push_back(v);
            append(QStringLiteral("?"));
            break;
        }
        case Tok::Symbol:
            if (tok.text == u"(") {
                outerClauses.push_back(clause);
            } else if (tok.text == u")") {
                if (outerClauses.empty())
                    refuseStatement(QStringLiteral("\u201E)\u201C ohne \u201E(\u201C"), statement);
                closeLimitsAt(outerClauses.size());
                clause = outerClauses.back();
                outerClauses.pop_back();
            }
            if (tok.text == u"&") {
                append(QStringLiteral("||"));
            } else if (tok.text == u"!=") {
                append(QStringLiteral("<>"));
            } else {
                append(tok.text.toString());
            }
            break;
        case Tok::Word:
        case Tok::QuotedName: {
            const QString up = upper(i);
            if (tok.type == Tok::Word && keywords().contains(up)) {
                if (up == u"FROM")
                    selectList = false;
                if (up == u"WHERE" || up == u"ON" || up == u"HAVING") {
                    clause = Clause::Where;
                    inSet = false;
                } else if (up == u"BY" && i > 0 && (upper(i - 1) == u"ORDER" || upper(i - 1) == u"GROUP")) {
                    clause = Clause::OrderBy;
                } else if (up == u"SET" && out.kind == TranslatedSql::Kind::Update) {
                    inSet = true;
                    clause = Clause::Other;
                } else if (up == u"JOIN" || up == u"FROM") {
                    clause = Clause::Other;
                }
                if (up == u"TRUE" || up == u"FALSE") {
                    append(up == u"TRUE" ? QStringLiteral("1") : QStringLiteral("0"));
                } else if (up == u"TOP") {
                    const bool afterSelect = upper(i - 1) == u"SELECT" ||
                                             (upper(i - 1) == u"DISTINCT" && upper(i - 2) == u"SELECT");
                    if (!afterSelect)
                        refuseStatement(QStringLiteral("TOP nur direkt nach SELECT"), statement);
                    bool whole = false;
                    if (i + 1 < t.size() && t[i + 1].type == Tok::Number)
                        static_cast<void>(t[i + 1].text.toLongLong(&whole));
                    if (!whole)
                        refuseStatement(QStringLiteral("TOP ohne ganze Anzahl"), statement);
                    if (upper(i + 2) == u"PERCENT")
                        refuseStatement(QStringLiteral("TOP ... PERCENT"), statement);
                    if (!limits.empty() && limits.back().depth == outerClauses.size())
                        refuseStatement(QStringLiteral("TOP zweimal in einer Abfrage"), statement);
                    limits.push_back({outerClauses.size(), t[++i].text.toString()});
                } else {
                    append(up);
                }
                break;
            }
            // A name, possibly qualified: table.column or alias.column.
            if (isSym(i + 1, "(")) {
                // A function is called by a plain name: text in brackets is a name and never SQL.
                if (tok.type != Tok::Word)
                    refuseStatement(QStringLiteral("Funktionsname %1 ist kein einfacher Name")
                                        .arg(quoted(tok.text.toString())),
                                    statement);
                append(tok.text.toString().toUpper());
                break;
            }
            QString name = quotedName(tok.text);
            QString column = tok.text.toString();
            bool qualified = false;
            if (isSym(i + 1, ".") && i + 2 < t.size() &&
                (t[i + 2].type == Tok::Word || t[i + 2].type == Tok::QuotedName)) {
                column = t[i + 2].text.toString();
                qualified = true;
                // SQLite names only the bare column after SET.
                name = inSet ? quotedName(column) : name + u'.' + quotedName(column);
                i += 2;
            } else if (isSym(i + 1, ".") && isSym(i + 2, "*")) {
                name += QStringLiteral(".*");
                column.clear();
                i += 2;
            }
            append(name);
            // A qualified column of the select list is named by its column, as the dialect names it; older
            // SQLite would name it after its table when joins are nested.
            if (selectList && qualified && (isSym(i + 1, ",") || upper(i + 1) == u"FROM"))
                sql += QStringLiteral(" AS ") + quotedName(column);
            if (clause != Clause::Other && !column.isEmpty() && isTextColumn && isTextColumn(column)) {
                sql += QStringLiteral(" COLLATE ");
                // Compared with an ASCII literal, the store's equality is SQLite's NOCASE, which an index
                // built with NOCASE serves; everything else takes the full collation.
                size_t j = i + 1;
                while (isSym(j, ")"))
                    ++j;
                const bool asciiEquality = clause == Clause::Where && isSym(j, "=") && j + 1 < t.size() &&
                                           t[j + 1].type == Tok::String && isPlainAscii(t[j + 1].value);
                sql += asciiEquality ? QStringLiteral("NOCASE") : QLatin1String(Collation::kCollationName);
            }
            break;
        }
        }
    }
    if (!outerClauses.empty())
        refuseStatement(QStringLiteral("\u201E(\u201C ohne \u201E)\u201C"), statement);
    closeLimitsAt(0);
    out.sql = sql;
    return out;
}

} // namespace store
