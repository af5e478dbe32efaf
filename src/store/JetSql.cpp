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

// A token points into the statement it was read from, which must outlive it; only a string literal has
// a text of its own, its value with the doubled quotes made single.
struct Token
{
    Tok type;
    QStringView text; // as written; a name without its brackets or back quotes
    QString value;    // String only
};

// Statements are read thousands of times a second while the group tree is built; the ASCII letters are
// told apart without the Unicode tables.
inline bool isAsciiLetter(char16_t c)
{
    return (c | 0x20) >= u'a' && (c | 0x20) <= u'z';
}
bool isWordStart(QChar c)
{
    return c.unicode() < 0x80 ? isAsciiLetter(c.unicode()) || c == u'_' : c.isLetter();
}
// Inlined for ASCII, the Unicode tables out of line.
inline bool isWordChar(QChar c)
{
    if (c.unicode() < 0x80)
        return isAsciiLetter(c.unicode()) || (c >= u'0' && c <= u'9') || c == u'_' || c == u'$';
    return c.isLetterOrNumber();
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

bool isSymbol(QChar c)
{
    switch (c.unicode()) {
    case u'=':
    case u'<':
    case u'>':
    case u'!':
    case u'(':
    case u')':
    case u',':
    case u'.':
    case u'*':
    case u'+':
    case u'-':
    case u'/':
    case u'&':
    case u';':
    case u'%':
        return true;
    default:
        return false;
    }
}

// Reads the statement token by token, handing each to `take(Token &&)`. A statement it cannot read gives
// false, the reason in *why. Every reader of statements goes through here, so that what is reused and what
// is translated are read alike.
template <typename Take> bool scan(const QString &s, Take &&take, QString *why)
{
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
            take(Token{Tok::String, QStringView(s).mid(start, i - start), std::move(value)});
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
            take(Token{Tok::QuotedName, name, {}});
            i = end + 1;
        } else if (c.isDigit() || (c == u'.' && i + 1 < n && s[i + 1].isDigit())) {
            qsizetype j = i;
            while (j < n && (s[j].isDigit() || s[j] == u'.'))
                ++j;
            take(Token{Tok::Number, QStringView(s).mid(i, j - i), {}});
            i = j;
        } else if (isWordStart(c)) {
            qsizetype j = i + 1;
            while (j < n && isWordChar(s[j]))
                ++j;
            if (j - i > kMaxNameLength) {
                *why = QStringLiteral("Name länger als %1 Zeichen").arg(kMaxNameLength);
                return false;
            }
            take(Token{Tok::Word, QStringView(s).mid(i, j - i), {}});
            i = j;
        } else {
            if (!isSymbol(c)) {
                *why = QStringLiteral("unerwartetes Zeichen %1").arg(shown(c));
                return false;
            }
            const QChar next = i + 1 < n ? s[i + 1] : QChar();
            const bool two =
                (next == u'=' && (c == u'<' || c == u'>' || c == u'!')) || (c == u'<' && next == u'>');
            take(Token{Tok::Symbol, QStringView(s).mid(i, two ? 2 : 1), {}});
            i += two ? 2 : 1;
        }
    }
    return true;
}

std::vector<Token> tokenize(const QString &s)
{
    std::vector<Token> out;
    out.reserve(32);
    QString why;
    if (!scan(
            s, [&out](Token &&t) { out.push_back(std::move(t)); }, &why))
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
    // Most literals are ids, read here without Qt's general number parsing.
    if (text.size() <= 18) {
        qint64 id = 0;
        bool digits = true;
        for (QChar c : text) {
            digits = c >= u'0' && c <= u'9';
            if (!digits)
                break;
            id = id * 10 + (c.unicode() - u'0');
        }
        if (digits) {
            *ok = true;
            return id;
        }
    }
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

namespace {

// The shape of a statement in plain ASCII without quotes or brackets, as the group tree's level statements
// are, in one pass: a run of digits that starts no word is a number literal, exactly as the scanner reads
// it. Where that is not certain (a digit run beside a dot or followed by a letter), or the statement holds
// anything else, it gives up and the scanner decides. Gives the same key as the scanner's way.
bool quickShape(const QString &s, QString *key, std::vector<QVariant> *literals)
{
    const qsizetype n = s.size();
    const char16_t *d = QStringView(s).utf16();
    key->reserve(n);
    qsizetype copied = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = d[i];
        if (c >= 0x7F || (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == u'"' || c == u'\'' ||
            c == u'[' || c == u'`')
            return false;
        if (c < u'0' || c > u'9')
            continue;
        if (i > 0 && isWordChar(QChar(d[i - 1])))
            continue; // part of a name
        if (i > 0 && d[i - 1] == u'.')
            return false;
        qsizetype j = i;
        qint64 number = 0;
        for (; j < n && d[j] >= u'0' && d[j] <= u'9'; ++j)
            number = number * 10 + (d[j] - u'0');
        if (j - i > 18 || (j < n && (isWordChar(QChar(d[j])) || d[j] == u'.')))
            return false;
        key->append(QStringView(d + copied, i - copied));
        *key += u'\x02';
        literals->emplace_back(number);
        copied = j;
        i = j - 1;
    }
    key->append(QStringView(d + copied, n - copied));
    return true;
}

} // namespace

QString statementShape(const QString &s, std::vector<QVariant> *literals)
{
    // The statement as written with each literal replaced by a mark: statements that differ only in their
    // literals share it. The scanner lets no control character outside a literal through, so the marks
    // cannot be confused with the statement's own text. A literal text's mark tells whether it is plain
    // ASCII, which decides how it is compared.
    QString key;
    if (quickShape(s, &key, literals))
        return key;
    key.clear();
    literals->clear();
    key.reserve(s.size());
    qsizetype copied = 0;
    bool numbers = true;
    auto take = [&](Token &&t) {
        if (t.type != Tok::String && t.type != Tok::Number)
            return;
        const qsizetype start = t.text.data() - s.constData();
        key.append(s.constData() + copied, start - copied);
        copied = start + t.text.size();
        if (t.type == Tok::String) {
            key += u'\x01';
            key += isPlainAscii(t.value) ? u'a' : u'u';
            literals->emplace_back(std::move(t.value));
            return;
        }
        bool ok = false;
        QVariant v = numberValue(t.text, &ok);
        numbers = numbers && ok;
        key += u'\x02';
        literals->push_back(std::move(v));
    };
    QString why;
    if (!scan(s, take, &why) || !numbers)
        return QString();
    key.append(s.constData() + copied, s.size() - copied);
    return key;
}

namespace {

// Reads the tokens of one statement from left to right and writes the SQLite text, one member per kind of
// token. What a token becomes depends on the clause it stands in (comparisons and sorting of text take the
// collation) and, for names, on the tokens beside it.
class Translator
{
public:
    Translator(const QString &statement, const TextColumnPredicate &isTextColumn, const ServerDialect *server,
               const KeyColumnOf &keyOf)
        : m_statement(statement), m_isTextColumn(isTextColumn), m_server(server), m_keyOf(keyOf),
          m_t(tokenize(statement))
    {}

    TranslatedSql run()
    {
        dropFinalSemicolon();
        readHead();
        m_sql.reserve(m_statement.size() + 32);
        for (; m_i < m_t.size(); ++m_i) {
            const Token &tok = m_t[m_i];
            switch (tok.type) {
            case Tok::String:
                literal(tok);
                break;
            case Tok::Number:
                m_lowerNext = false;
                m_keyNext = false;
                number(tok);
                break;
            case Tok::Symbol:
                symbol(tok);
                break;
            case Tok::Word:
            case Tok::QuotedName:
                if (tok.type == Tok::Word && keywords().contains(upper(m_i)))
                    keyword(upper(m_i));
                else
                    name(tok);
                break;
            }
        }
        if (!m_outer.empty())
            refuse(QStringLiteral("\u201E(\u201C ohne \u201E)\u201C"));
        closeLike();
        closeSelectAt(0);
        closeLimitsAt(0);
        m_out.sql = m_sql;
        return m_out;
    }

private:
    // TOP n of a SELECT still open, with the parenthesis depth it stands at: it becomes the LIMIT at the end
    // of that SELECT, which is where its parenthesis closes (or the statement ends).
    struct Limit
    {
        size_t depth;
        QString count;
    };

    // A SELECT still open, with the parenthesis depth it stands at: a sort by text ends with the keys of its
    // tables, so that rows equal in every sorted text (apfel, Apfel, APFEL) come in the order of their
    // keys on a file and on a server alike.
    struct Select
    {
        size_t depth;
        QStringList keys; // each table's key, qualified as the statement names the table
        bool distinct = false;
        bool grouped = false;
        bool textSorted = false;
    };

    [[noreturn]] void refuse(const QString &why) const { refuseStatement(why, m_statement); }

    QString upper(size_t i) const
    {
        return i < m_t.size() && m_t[i].type == Tok::Word ? m_t[i].text.toString().toUpper() : QString();
    }
    bool isSym(size_t i, const char *symbol) const
    {
        return i < m_t.size() && m_t[i].type == Tok::Symbol && m_t[i].text == QLatin1String(symbol);
    }
    void append(const QString &piece)
    {
        if (!m_sql.isEmpty())
            m_sql += u' ';
        m_sql += piece;
    }
    void closeLimitsAt(size_t depth)
    {
        if (!m_limits.empty() && m_limits.back().depth == depth) {
            m_sql += QStringLiteral(" LIMIT ") + m_limits.back().count;
            m_limits.pop_back();
        }
    }

    void closeSelectAt(size_t depth)
    {
        if (m_selects.empty() || m_selects.back().depth != depth)
            return;
        const Select select = std::move(m_selects.back());
        m_selects.pop_back();
        if (select.textSorted && !select.distinct && !select.grouped && !select.keys.isEmpty())
            m_sql += QStringLiteral(", ") + select.keys.join(QStringLiteral(", "));
    }

    // On a server LIKE takes a backslash as its escape unless told otherwise; a file knows no escape. The
    // pattern ends where the next keyword, comma or closing parenthesis of its depth begins.
    void closeLike()
    {
        if (m_likeOpen && m_likeDepth == m_outer.size()) {
            m_sql += QStringLiteral(" ESCAPE ''");
            m_likeOpen = false;
        }
    }

    // A table named after FROM or JOIN (and any parentheses of the join): its key goes to the end of a text
    // sort, named by the alias that follows it where there is one.
    void noteTable(const QString &table)
    {
        if (!m_keyOf || m_selects.empty() || m_clause != Clause::Other ||
            m_out.kind != TranslatedSql::Kind::Select)
            return;
        size_t j = m_i;
        while (j > 0 && isSym(j - 1, "("))
            --j;
        if (j == 0 || (upper(j - 1) != u"FROM" && upper(j - 1) != u"JOIN"))
            return;
        QString qualifier = table;
        size_t a = m_i + 1;
        if (upper(a) == u"AS")
            ++a;
        if (a < m_t.size() &&
            (m_t[a].type == Tok::QuotedName || (m_t[a].type == Tok::Word && !keywords().contains(upper(a)))))
            qualifier = m_t[a].text.toString();
        // Named by its column, not as rowid: SQLite reads a join in parentheses as a subquery without one.
        const QString key = m_keyOf(table);
        if (!key.isEmpty())
            m_selects.back().keys << quotedName(serverName(qualifier)) + u'.' + key;
    }

    // One trailing ";" is part of the dialect; anything after it would be a second statement.
    void dropFinalSemicolon()
    {
        for (size_t i = 0; i < m_t.size(); ++i) {
            if (m_t[i].type == Tok::Symbol && m_t[i].text == u";") {
                if (i + 1 != m_t.size())
                    refuse(QStringLiteral("mehrere Anweisungen"));
                m_t.pop_back();
            }
        }
        if (m_t.empty() || m_t[0].type != Tok::Word)
            refuse(QStringLiteral("leere Anweisung"));
    }

    void readHead()
    {
        const QString first = upper(0);
        if (first == u"SELECT") {
            m_out.kind = TranslatedSql::Kind::Select;
            m_selectList = true;
        } else if (first == u"INSERT") {
            m_out.kind = TranslatedSql::Kind::Insert;
        } else if (first == u"UPDATE") {
            m_out.kind = TranslatedSql::Kind::Update;
        } else if (first == u"DELETE") {
            // DELETE [columns | *] FROM table ...: SQLite deletes whole rows anyway, so the list goes.
            m_out.kind = TranslatedSql::Kind::Delete;
            m_i = 1;
            while (m_i < m_t.size() && upper(m_i) != u"FROM")
                ++m_i;
            if (m_i == m_t.size())
                refuse(QStringLiteral("DELETE ohne FROM"));
            m_sql = QStringLiteral("DELETE");
        } else {
            refuse(QStringLiteral("nur SELECT, INSERT, UPDATE und DELETE"));
        }
    }

    void number(const Token &tok)
    {
        if (m_clause == Clause::OrderBy) {
            append(tok.text.toString()); // a column position, not a value
            return;
        }
        bool ok = false;
        const QVariant v = numberValue(tok.text, &ok);
        if (!ok)
            refuse(QStringLiteral("ungültige Zahl %1").arg(quoted(tok.text.toString())));
        m_out.params.push_back(v);
        append(QStringLiteral("?"));
    }

    void symbol(const Token &tok)
    {
        // The clause around each open parenthesis comes back when it closes: a subquery's ORDER BY ends
        // with it.
        if (tok.text == u"(") {
            m_outer.push_back(m_clause);
        } else if (tok.text == u")") {
            m_lowerList = false;
            if (m_outer.empty())
                refuse(QStringLiteral("\u201E)\u201C ohne \u201E(\u201C"));
            closeLike();
            closeSelectAt(m_outer.size());
            closeLimitsAt(m_outer.size());
            m_clause = m_outer.back();
            m_outer.pop_back();
        }
        if (tok.text == u",")
            closeLike();
        if (tok.text == u"&")
            append(QStringLiteral("||"));
        else if (tok.text == u"!=")
            append(QStringLiteral("<>"));
        else
            append(tok.text.toString());
    }

    void keyword(const QString &up)
    {
        if (up != u"LIKE") {
            closeLike();
            m_lowerNext = false;
        }
        // BETWEEN's two bounds both go through the weights, also after NOT.
        const bool bound = m_keyNext && (isBetween(m_i) || up == u"BETWEEN" || (up == u"AND" && m_between));
        m_between = bound && up == u"BETWEEN";
        m_keyNext = bound;
        if (up == u"SELECT") {
            m_lowerList = false; // a subquery's own literals are its own
            m_selects.push_back(Select{m_outer.size(), {}});
        } else if (up == u"DISTINCT" && !m_selects.empty())
            m_selects.back().distinct = true;
        if (up == u"FROM")
            m_selectList = false;
        if (up == u"WHERE" && m_outer.empty() &&
            (m_out.kind == TranslatedSql::Kind::Update || m_out.kind == TranslatedSql::Kind::Delete)) {
            m_out.whereAt = m_sql.size() + (m_sql.isEmpty() ? 0 : 1);
            m_out.whereParam = m_out.params.size();
        }
        if (up == u"WHERE" || up == u"ON" || up == u"HAVING") {
            m_clause = Clause::Where;
            m_inSet = false;
        } else if (up == u"BY" && m_i > 0 && (upper(m_i - 1) == u"ORDER" || upper(m_i - 1) == u"GROUP")) {
            m_clause = Clause::OrderBy;
            m_grouping = upper(m_i - 1) == u"GROUP";
            if (m_grouping && !m_selects.empty())
                m_selects.back().grouped = true;
        } else if (up == u"SET" && m_out.kind == TranslatedSql::Kind::Update) {
            m_inSet = true;
            m_clause = Clause::Other;
        } else if (up == u"JOIN" || up == u"FROM") {
            m_clause = Clause::Other;
        }
        if ((up == u"TRUE" || up == u"FALSE") && !m_server)
            append(up == u"TRUE" ? QStringLiteral("1") : QStringLiteral("0"));
        else if (up == u"TOP")
            top();
        else
            append(up);
        if (up == u"LIKE" && m_server) {
            m_likeOpen = true;
            m_likeDepth = m_outer.size();
        }
    }

    void top()
    {
        const bool afterSelect =
            upper(m_i - 1) == u"SELECT" || (upper(m_i - 1) == u"DISTINCT" && upper(m_i - 2) == u"SELECT");
        if (!afterSelect)
            refuse(QStringLiteral("TOP nur direkt nach SELECT"));
        bool whole = false;
        if (m_i + 1 < m_t.size() && m_t[m_i + 1].type == Tok::Number)
            static_cast<void>(m_t[m_i + 1].text.toLongLong(&whole));
        if (!whole)
            refuse(QStringLiteral("TOP ohne ganze Anzahl"));
        if (upper(m_i + 2) == u"PERCENT")
            refuse(QStringLiteral("TOP ... PERCENT"));
        if (!m_limits.empty() && m_limits.back().depth == m_outer.size())
            refuse(QStringLiteral("TOP zweimal in einer Abfrage"));
        m_limits.push_back({m_outer.size(), m_t[++m_i].text.toString()});
    }

    // A name, possibly qualified (table.column or alias.column), or a function called by it.
    void name(const Token &tok)
    {
        m_lowerNext = false;
        const bool keyPartner = m_keyNext;
        m_keyNext = false;
        if (isSym(m_i + 1, "(") && upper(m_i - 1) != u"INTO") {
            // A function is called by a plain name: text in brackets is a name and never SQL.
            if (tok.type != Tok::Word)
                refuse(QStringLiteral("Funktionsname %1 ist kein einfacher Name")
                           .arg(quoted(tok.text.toString())));
            append(tok.text.toString().toUpper());
            return;
        }
        QString written = quotedName(serverName(tok.text.toString()));
        QString column = tok.text.toString();
        bool qualified = false;
        if (m_server && !isSym(m_i + 1, ".") && m_server->isTable && m_server->isTable(column))
            written = inSchema(written);
        if (isSym(m_i + 1, ".") && m_i + 2 < m_t.size() &&
            (m_t[m_i + 2].type == Tok::Word || m_t[m_i + 2].type == Tok::QuotedName)) {
            column = m_t[m_i + 2].text.toString();
            qualified = true;
            // SQLite names only the bare column after SET.
            written =
                m_inSet ? quotedName(serverName(column)) : written + u'.' + quotedName(serverName(column));
            m_i += 2;
        } else if (isSym(m_i + 1, ".") && isSym(m_i + 2, "*")) {
            written += QStringLiteral(".*");
            column.clear();
            m_i += 2;
        }
        if (!qualified && !column.isEmpty())
            noteTable(column);
        if (m_out.kind != TranslatedSql::Kind::Select && m_out.target.isEmpty() && !qualified &&
            !column.isEmpty() && m_i > 0 &&
            (upper(m_i - 1) == u"UPDATE" || upper(m_i - 1) == u"INTO" || upper(m_i - 1) == u"FROM")) {
            m_out.target = column;
            m_out.targetSql = written;
        }
        const bool text =
            m_clause != Clause::Other && !column.isEmpty() && m_isTextColumn && m_isTextColumn(column);
        if (text && m_clause == Clause::OrderBy && !m_grouping && !m_selects.empty())
            m_selects.back().textSorted = true;
        if (m_server && text) {
            serverText(written, keyPartner);
            return;
        }
        append(written);
        // A qualified column of the select list is named by its column, as the dialect names it; older
        // SQLite would name it after its table when joins are nested.
        if (m_selectList && qualified && (isSym(m_i + 1, ",") || upper(m_i + 1) == u"FROM"))
            m_sql += QStringLiteral(" AS ") + quotedName(serverName(column));
        if (text)
            collate();
    }

    // A name as the server has it; a name it does not have (an alias) in lower case, so that every use of
    // it matches whatever its case.
    QString serverName(const QString &name) const
    {
        if (!m_server)
            return name;
        const QString known = m_server->nameOf(name);
        return known.isEmpty() ? name.toLower() : known;
    }

    QString inSchema(const QString &written) const { return quotedName(m_server->schema) + u'.' + written; }

    QString lowered(const QString &expression) const
    {
        return inSchema(QLatin1String(Collation::kServerLower)) + u'(' + expression +
               QStringLiteral("::text)");
    }

    bool isComparison(size_t j) const
    {
        return isSym(j, "=") || isSym(j, "<>") || isSym(j, "!=") || isSym(j, "<") || isSym(j, ">") ||
               isSym(j, "<=") || isSym(j, ">=") || upper(j) == u"LIKE";
    }

    bool isRange(size_t j) const
    {
        return isSym(j, "<") || isSym(j, ">") || isSym(j, "<=") || isSym(j, ">=");
    }
    bool isBetween(size_t j) const
    {
        return upper(j) == u"BETWEEN" || (upper(j) == u"NOT" && upper(j + 1) == u"BETWEEN");
    }
    // The comparison after the expression that ends at i, past its closing parentheses.
    size_t comparisonAfter(size_t i) const
    {
        size_t j = i + 1;
        while (isSym(j, ")"))
            ++j;
        return j;
    }

    // A text in the order of the store's collation, as a row the server compares byte by byte: its
    // primary weights, then its lower case. Compared so, two texts are ordered exactly as on a file, where
    // the server's own collation would order them by its locale.
    QString weighed(const QString &expression) const
    {
        return QStringLiteral("(") + inSchema(QLatin1String(Collation::kServerPrimary)) + u'(' + expression +
               QStringLiteral("::text) COLLATE \"C\", ") + lowered(expression) +
               QStringLiteral(" COLLATE \"C\")");
    }

    void literal(const Token &tok)
    {
        const bool lower = m_lowerNext;
        const bool key = m_keyNext;
        m_lowerNext = false;
        m_keyNext = false;
        if (!m_server) {
            append(QStringLiteral("?"));
            m_out.params.emplace_back(tok.value);
            return;
        }
        // On a server a text compared with a text column goes through the same lower case, or, for a
        // range, through the same weights.
        const bool compared = comparedWithText(m_i);
        if (key || (compared && isRange(m_i + 1))) {
            append(weighed(QStringLiteral("?")));
            m_out.params.emplace_back(tok.value);
            m_out.params.emplace_back(tok.value);
            m_keyNext = compared || m_between;
            return;
        }
        append(lower || compared || m_lowerList ? lowered(QStringLiteral("?")) : QStringLiteral("?"));
        m_out.params.emplace_back(tok.value);
    }

    // A literal followed by a comparison with a text column.
    bool comparedWithText(size_t i) const
    {
        if (m_clause != Clause::Where || !isComparison(i + 1))
            return false;
        size_t j = i + 2;
        while (isSym(j, "("))
            ++j;
        if (j >= m_t.size() || (m_t[j].type != Tok::Word && m_t[j].type != Tok::QuotedName))
            return false;
        const QString column =
            isSym(j + 1, ".") && j + 2 < m_t.size() ? m_t[j + 2].text.toString() : m_t[j].text.toString();
        return m_isTextColumn && m_isTextColumn(column);
    }

    // A text column compared or sorted on a server: compared through the collation's lower case, sorted
    // by its two keys byte by byte, in the direction written after it.
    void serverText(const QString &written, bool keyPartner)
    {
        if (m_clause == Clause::Where) {
            const size_t j = comparisonAfter(m_i);
            if (keyPartner || isRange(j) || isBetween(j)) {
                append(weighed(written));
                m_keyNext = isRange(j) || isBetween(j);
                return;
            }
            append(lowered(written));
            m_lowerNext = isComparison(j);
            // Every text of a list it is looked up in, as one it is compared with.
            m_lowerList = upper(j) == u"IN" || (upper(j) == u"NOT" && upper(j + 1) == u"IN");
            return;
        }
        if (m_grouping)
            refuse(QStringLiteral("GROUP BY über ein Textfeld auf einem Datenbankserver"));
        QString direction;
        if (upper(m_i + 1) == u"ASC" || upper(m_i + 1) == u"DESC")
            direction = u' ' + upper(++m_i);
        // A file puts a missing text before all others; a server by itself after them.
        direction += direction == u" DESC" ? QStringLiteral(" NULLS LAST") : QStringLiteral(" NULLS FIRST");
        append(inSchema(QLatin1String(Collation::kServerPrimary)) + u'(' + written +
               QStringLiteral("::text) COLLATE \"C\"") + direction + QStringLiteral(", ") + lowered(written) +
               QStringLiteral(" COLLATE \"C\"") + direction);
    }

    void collate()
    {
        m_sql += QStringLiteral(" COLLATE ");
        // Compared with an ASCII literal, the store's equality is SQLite's NOCASE, which an index built with
        // NOCASE serves; everything else takes the full collation.
        size_t j = m_i + 1;
        while (isSym(j, ")"))
            ++j;
        const bool asciiEquality = m_clause == Clause::Where && isSym(j, "=") && j + 1 < m_t.size() &&
                                   m_t[j + 1].type == Tok::String && isPlainAscii(m_t[j + 1].value);
        m_sql += asciiEquality ? QStringLiteral("NOCASE") : QLatin1String(Collation::kCollationName);
    }

    const QString &m_statement;
    const TextColumnPredicate &m_isTextColumn;
    const ServerDialect *m_server;
    const KeyColumnOf &m_keyOf;
    std::vector<Token> m_t;
    size_t m_i = 0;
    TranslatedSql m_out;
    QString m_sql;
    Clause m_clause = Clause::Other;
    std::vector<Clause> m_outer;
    bool m_inSet = false;
    bool m_selectList = false;
    bool m_grouping = false;  // the OrderBy clause is a GROUP BY
    bool m_lowerNext = false; // a text column was just compared: its partner goes through lower case too
    bool m_keyNext = false;   // ... by a range: its partner goes through the weights too
    bool m_lowerList = false; // ... looked up IN a list: up to its ")", each text of it as the partner
    bool m_between = false;   // between BETWEEN and its AND
    std::vector<Select> m_selects;
    bool m_likeOpen = false; // a LIKE pattern on a server still to be given its ESCAPE
    size_t m_likeDepth = 0;
    std::vector<Limit> m_limits;
};

} // namespace

TranslatedSql translateJetSql(const QString &statement, const TextColumnPredicate &isTextColumn,
                              const ServerDialect *server, const KeyColumnOf &keyOf)
{
    return Translator(statement, isTextColumn, server, keyOf).run();
}

} // namespace store
