#include "JetSql.h"

#include "Collation.h"
#include "Quoted.h"
#include "StoreError.h"

#include <QSet>

namespace store {

namespace {

enum class Tok
{
    Word,
    QuotedName,
    String,
    Number,
    Symbol
};

struct Token
{
    Tok type;
    QString text; // words and names as written, strings unquoted, symbols as is
};

[[noreturn]] void fail(const QString &why, const QString &statement)
{
    throw StoreError(
        QStringLiteral("SQL-Anweisung wird nicht unterstützt (%1): %2").arg(why, statement.simplified()));
}

bool isWordStart(QChar c)
{
    return c.isLetter() || c == u'_';
}
bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

std::vector<Token> tokenize(const QString &s)
{
    std::vector<Token> out;
    out.reserve(32);
    const qsizetype n = s.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = s[i];
        if (c.isSpace() || c == u'\0') {
            ++i;
        } else if (c == u'"' || c == u'\'') {
            QString value;
            if (!readQuoted(s, &i, &value))
                fail(QStringLiteral("Zeichenkette ohne Ende"), s);
            out.push_back({Tok::String, value});
        } else if (c == u'[' || c == u'`') {
            const QChar close = c == u'[' ? u']' : u'`';
            const qsizetype end = s.indexOf(close, i + 1);
            if (end < 0)
                fail(QStringLiteral("Name ohne Ende"), s);
            out.push_back({Tok::QuotedName, s.mid(i + 1, end - i - 1)});
            i = end + 1;
        } else if (c.isDigit() || (c == u'.' && i + 1 < n && s[i + 1].isDigit())) {
            qsizetype j = i;
            while (j < n && (s[j].isDigit() || s[j] == u'.'))
                ++j;
            out.push_back({Tok::Number, s.mid(i, j - i)});
            i = j;
        } else if (isWordStart(c)) {
            qsizetype j = i + 1;
            while (j < n && isWordChar(s[j]))
                ++j;
            out.push_back({Tok::Word, s.mid(i, j - i)});
            i = j;
        } else {
            static const QString twoChar[] = {QStringLiteral("<>"), QStringLiteral("<="),
                                              QStringLiteral(">="), QStringLiteral("!=")};
            QString sym(c);
            for (const QString &t : twoChar) {
                if (s.mid(i, 2) == t)
                    sym = t;
            }
            if (!QStringLiteral("=<>!(),.*+-/&;%").contains(c))
                fail(QStringLiteral("unerwartetes Zeichen %1").arg(quoted(QString(c))), s);
            out.push_back({Tok::Symbol, sym});
            i += sym.size();
        }
    }
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

// Names go in backticks: SQLite takes a double-quoted name it cannot resolve for a string literal, which
// would turn a misspelt field into a silent wrong answer.
QString quotedName(const QString &name)
{
    QString n = name;
    n.replace(u'`', QStringLiteral("``"));
    return u'`' + n + u'`';
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
    // Reads the statement the way tokenize() does, but only tells literals from the rest.
    QString key;
    key.reserve(s.size());
    const qsizetype n = s.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = s[i];
        if (c == u'"' || c == u'\'') {
            QString value;
            if (!readQuoted(s, &i, &value))
                return QString();
            key += isPlainAscii(value) ? QStringLiteral("\x01a") : QStringLiteral("\x01u");
            literals->emplace_back(value);
        } else if (c == u'[' || c == u'`') {
            const qsizetype end = s.indexOf(c == u'[' ? u']' : u'`', i + 1);
            if (end < 0)
                return QString();
            key += QStringView(s).mid(i, end + 1 - i);
            i = end + 1;
        } else if (c.isDigit() || (c == u'.' && i + 1 < n && s[i + 1].isDigit())) {
            qsizetype j = i;
            while (j < n && (s[j].isDigit() || s[j] == u'.'))
                ++j;
            bool ok = false;
            const QVariant v = numberValue(QStringView(s).mid(i, j - i), &ok);
            if (!ok)
                return QString();
            key += u'\x02';
            literals->push_back(v);
            i = j;
        } else if (isWordStart(c)) {
            qsizetype j = i + 1;
            while (j < n && isWordChar(s[j]))
                ++j;
            key += QStringView(s).mid(i, j - i);
            i = j;
        } else {
            // The key marks literals with these two; a statement holding them itself is not reused.
            if (c == u'\x01' || c == u'\x02')
                return QString();
            key += c;
            ++i;
        }
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
        if (t[i].type == Tok::Symbol && t[i].text == u';') {
            if (i + 1 != t.size())
                fail(QStringLiteral("mehrere Anweisungen"), statement);
            t.pop_back();
        }
    }
    if (t.empty() || t[0].type != Tok::Word)
        fail(QStringLiteral("leere Anweisung"), statement);

    auto upper = [&](size_t i) { return t[i].type == Tok::Word ? t[i].text.toUpper() : QString(); };
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
            fail(QStringLiteral("DELETE ohne FROM"), statement);
        head = QStringLiteral("DELETE");
        start = i;
    } else {
        fail(QStringLiteral("nur SELECT, INSERT, UPDATE und DELETE"), statement);
    }

    QString sql = head;
    sql.reserve(statement.size() + 32);
    Clause clause = Clause::Other;
    bool inSet = false;
    bool selectList = out.kind == TranslatedSql::Kind::Select;
    QString limit;
    auto append = [&](const QString &piece) {
        if (!sql.isEmpty())
            sql += u' ';
        sql += piece;
    };

    for (size_t i = start; i < t.size(); ++i) {
        const Token &tok = t[i];
        switch (tok.type) {
        case Tok::String:
            append(QStringLiteral("?"));
            out.params.emplace_back(tok.text);
            break;
        case Tok::Number: {
            if (clause == Clause::OrderBy) {
                append(tok.text); // a column position, not a value
                break;
            }
            bool ok = false;
            const QVariant v = numberValue(tok.text, &ok);
            if (!ok)
                fail(QStringLiteral("ungültige Zahl %1").arg(quoted(tok.text)), statement);
            out.params.push_back(v);
            append(QStringLiteral("?"));
            break;
        }
        case Tok::Symbol:
            if (tok.text == u"&") {
                append(QStringLiteral("||"));
            } else if (tok.text == u"!=") {
                append(QStringLiteral("<>"));
            } else {
                append(tok.text);
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
                    if (i + 1 >= t.size() || t[i + 1].type != Tok::Number)
                        fail(QStringLiteral("TOP ohne Anzahl"), statement);
                    limit = t[++i].text;
                } else {
                    append(up);
                }
                break;
            }
            // A name, possibly qualified: table.column or alias.column.
            QString name = quotedName(tok.text);
            QString column = tok.text;
            bool qualified = false;
            const bool isFunction = isSym(i + 1, "(");
            if (isSym(i + 1, ".") && i + 2 < t.size() &&
                (t[i + 2].type == Tok::Word || t[i + 2].type == Tok::QuotedName)) {
                column = t[i + 2].text;
                qualified = true;
                // SQLite names only the bare column after SET.
                name = inSet ? quotedName(column) : name + u'.' + quotedName(column);
                i += 2;
            } else if (isSym(i + 1, ".") && isSym(i + 2, "*")) {
                name += QStringLiteral(".*");
                column.clear();
                i += 2;
            }
            if (isFunction) {
                append(tok.text.toUpper());
                break;
            }
            append(name);
            // A qualified column of the select list is named by its column, as the dialect names it; older
            // SQLite would name it after its table when joins are nested.
            if (selectList && qualified &&
                (isSym(i + 1, ",") || (i + 1 < t.size() && upper(i + 1) == u"FROM")))
                sql += QStringLiteral(" AS ") + quotedName(column);
            if (clause != Clause::Other && !column.isEmpty() && isTextColumn && isTextColumn(column)) {
                sql += QStringLiteral(" COLLATE ");
                // Compared with an ASCII literal, the store's equality is SQLite's NOCASE, which an index
                // built with NOCASE serves; everything else takes the full collation.
                size_t j = i + 1;
                while (isSym(j, ")"))
                    ++j;
                const bool asciiEquality = clause == Clause::Where && isSym(j, "=") && j + 1 < t.size() &&
                                           t[j + 1].type == Tok::String && isPlainAscii(t[j + 1].text);
                sql += asciiEquality ? QStringLiteral("NOCASE") : QLatin1String(Collation::kCollationName);
            }
            break;
        }
        }
    }
    if (!limit.isEmpty()) {
        if (out.kind != TranslatedSql::Kind::Select)
            fail(QStringLiteral("TOP nur bei SELECT"), statement);
        sql += QStringLiteral(" LIMIT ") + limit;
    }
    out.sql = sql;
    return out;
}

} // namespace store
