#include "Collation.h"

#include "Sqlite.h"
#include "Win1252.h"

#include <QByteArrayList>

#include <array>

namespace store::Collation {

namespace {

// One decoded character with its two comparison weights: the primary weight ignores case and accents
// (it may expand to two letters, as ß -> ss), the secondary weight ignores case only.
struct Weights
{
    char32_t primary[2];
    int primaryCount;
    char32_t secondary;
};

char32_t lowerOf(char32_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (c > 0xFFFF)
        return c;
    return QChar(static_cast<char16_t>(c)).toLower().unicode();
}

// Base letters of the lower-case accented letters 0xE0..0xFF of Windows-1252 ("" where there is none);
// upper-case letters share them through their lower case.
const char *const kLatin1Base = "a,a,a,a,a,a,ae,c,e,e,e,e,i,i,i,i,d,n,o,o,o,o,o,,o,u,u,u,u,y,th,y";

const std::array<QByteArray, 32> &latin1Base()
{
    static const std::array<QByteArray, 32> table = [] {
        std::array<QByteArray, 32> t;
        const QList<QByteArray> parts = QByteArray(kLatin1Base).split(',');
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = parts.value(static_cast<qsizetype>(i));
        return t;
    }();
    return table;
}

Weights weigh(char32_t c)
{
    Weights w{{0, 0}, 1, lowerOf(c)};
    w.primary[0] = w.secondary;
    const char *base = nullptr;
    if (c == 0xDF) {
        base = "ss"; // ß
    } else if (c >= 0xC0 && c <= 0xFF) {
        const char32_t lower = lowerOf(c);
        if (lower >= 0xE0 && lower <= 0xFF && !latin1Base()[lower - 0xE0].isEmpty())
            base = latin1Base()[lower - 0xE0].constData();
    } else {
        switch (c) {
        case 0x0160:
        case 0x0161:
            base = "s"; // Š š
            break;
        case 0x017D:
        case 0x017E:
            base = "z"; // Ž ž
            break;
        case 0x0152:
        case 0x0153:
            base = "oe"; // Œ œ
            break;
        case 0x0178:
            base = "y"; // Ÿ
            break;
        case 0x0192:
            base = "f"; // ƒ
            break;
        default:
            break;
        }
    }
    if (base) {
        w.primary[0] = static_cast<unsigned char>(base[0]);
        if (base[1]) {
            w.primary[1] = static_cast<unsigned char>(base[1]);
            w.primaryCount = 2;
        }
    }
    return w;
}

// Sequential reader of code points from UTF-8 or UTF-16.
struct Utf8Reader
{
    const unsigned char *p;
    const unsigned char *end;
    bool atEnd() const { return p >= end; }
    char32_t next()
    {
        const unsigned char b = *p++;
        if (b < 0x80)
            return b;
        int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
        char32_t c = b & (0x3F >> extra);
        while (extra-- > 0 && p < end && (*p & 0xC0) == 0x80)
            c = (c << 6) | (*p++ & 0x3F);
        return c;
    }
};

struct Utf16Reader
{
    const QChar *p;
    const QChar *end;
    bool atEnd() const { return p >= end; }
    char32_t next()
    {
        const char16_t u = (p++)->unicode();
        if (QChar::isHighSurrogate(u) && p < end && p->isLowSurrogate())
            return QChar::surrogateToUcs4(u, (p++)->unicode());
        return u;
    }
};

// Compares the primary weights; on a tie reports the first secondary difference in *secondary.
template <typename Reader> int compareWith(Reader a, Reader b)
{
    int secondary = 0;
    char32_t pendA = 0, pendB = 0; // second letter of an expansion still to compare
    for (;;) {
        char32_t pa = 0, pb = 0;
        bool haveA = true, haveB = true;
        if (pendA) {
            pa = pendA;
            pendA = 0;
        } else if (!a.atEnd()) {
            const Weights w = weigh(a.next());
            pa = w.primary[0];
            pendA = w.primaryCount == 2 ? w.primary[1] : 0;
            if (!secondary && !b.atEnd() && !pendB) {
                // Secondary weights are compared character by character while both sides are aligned.
                Reader peek = b;
                const Weights wb = weigh(peek.next());
                if (w.secondary != wb.secondary)
                    secondary = w.secondary < wb.secondary ? -1 : 1;
            }
        } else {
            haveA = false;
        }
        if (pendB) {
            pb = pendB;
            pendB = 0;
        } else if (!b.atEnd()) {
            const Weights w = weigh(b.next());
            pb = w.primary[0];
            pendB = w.primaryCount == 2 ? w.primary[1] : 0;
        } else {
            haveB = false;
        }
        if (!haveA || !haveB) {
            if (haveA)
                return 1;
            if (haveB)
                return -1;
            return secondary;
        }
        if (pa != pb)
            return pa < pb ? -1 : 1;
    }
}

int xCompare(void *, int aLen, const void *a, int bLen, const void *b)
{
    return compareUtf8(static_cast<const char *>(a), aLen, static_cast<const char *>(b), bLen);
}

} // namespace

int compareUtf8(const char *a, int aLen, const char *b, int bLen)
{
    const auto *ua = reinterpret_cast<const unsigned char *>(a);
    const auto *ub = reinterpret_cast<const unsigned char *>(b);
    // Fast path for the common all-ASCII case: case-folded byte order is the whole answer.
    const int n = aLen < bLen ? aLen : bLen;
    int i = 0;
    for (; i < n; ++i) {
        unsigned char ca = ua[i], cb = ub[i];
        if ((ca | cb) & 0x80)
            break;
        if (ca >= 'A' && ca <= 'Z')
            ca += 32;
        if (cb >= 'A' && cb <= 'Z')
            cb += 32;
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (i == n && ((i == aLen) || (i == bLen)))
        return aLen == bLen ? 0 : (aLen < bLen ? -1 : 1);
    return compareWith(Utf8Reader{ua + i, ua + aLen}, Utf8Reader{ub + i, ub + bLen});
}

int compare(const QString &a, const QString &b)
{
    return compareWith(Utf16Reader{a.constData(), a.constData() + a.size()},
                       Utf16Reader{b.constData(), b.constData() + b.size()});
}

int registerOn(sqlite3 *db)
{
    return sqlite3_create_collation_v2(db, kCollationName, SQLITE_UTF8, nullptr, &xCompare, nullptr);
}

namespace {
QString sqlText(const QString &text)
{
    return u'\'' + QString(text).replace(u'\'', QStringLiteral("''")) + u'\'';
}
} // namespace

QStringList serverFunctions()
{
    QString upper, lower;    // lower case, letter by letter
    QString accented, plain; // lower-case letters to their base letter
    QStringList expansions;  // lower-case letters to two letters
    for (int b = 1; b < 256; ++b) {
        const QChar c = Win1252::toUnicode(QByteArray(1, static_cast<char>(b))).at(0);
        const Weights w = weigh(c.unicode());
        if (w.secondary != c.unicode()) {
            upper += c;
            lower += QChar(static_cast<char16_t>(w.secondary));
            continue; // its lower-case letter has its own turn
        }
        if (w.primaryCount == 2)
            expansions << sqlText(QString(c)) + u',' +
                              sqlText(QString(QChar(static_cast<char16_t>(w.primary[0]))) +
                                      QChar(static_cast<char16_t>(w.primary[1])));
        else if (w.primary[0] != c.unicode()) {
            accented += c;
            plain += QChar(static_cast<char16_t>(w.primary[0]));
        }
    }
    QString primary = QStringLiteral("translate(%1(t), %2, %3)")
                          .arg(QLatin1String(kServerLower), sqlText(accented), sqlText(plain));
    for (const QString &e : expansions)
        primary = QStringLiteral("replace(%1, %2)").arg(primary, e);
    const QString head =
        QStringLiteral("CREATE OR REPLACE FUNCTION %1(t text) RETURNS text LANGUAGE sql IMMUTABLE STRICT "
                       "PARALLEL SAFE RETURN ");
    return {head.arg(QLatin1String(kServerLower)) +
                QStringLiteral("translate(t, %1, %2)").arg(sqlText(upper), sqlText(lower)),
            head.arg(QLatin1String(kServerPrimary)) + primary};
}

} // namespace store::Collation
