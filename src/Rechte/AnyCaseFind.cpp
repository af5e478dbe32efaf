#include "AnyCaseFind.h"

#include <QtAlgorithms>

#include <algorithm>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rechte {

namespace {

// How rare a character is in German words and in the journal's changes; higher is rarer.
int rarity(QChar c)
{
    // Letters from the most to the least frequent in German text.
    static const QString letters = QStringLiteral("enirastdhulcgmobwfzpvjyxq");
    const char16_t u = c.unicode();
    if (u >= 0x80 || u < 0x20)
        return -1;
    const QChar lower = c.toLower();
    if (lower == u'k' || lower == u's')
        return -1;
    if (lower.isLetter())
        return static_cast<int>(letters.indexOf(lower));
    // Digits fill every id; space and other signs stand between words.
    return c.isDigit() ? 8 : 12;
}

} // namespace

AnyCaseFind::AnyCaseFind(const QString &text) : m_text(text)
{
    int best = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int r = rarity(text[i]);
        if (r > best) {
            best = r;
            m_anchor = i;
        }
    }
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        m_lowers = text.toLower();
        m_uppers = text.toUpper();
    }
    if (m_anchor >= 0) {
        m_lower = text[m_anchor].toLower().unicode();
        m_upper = text[m_anchor].toUpper().unicode();
    }
}

template <typename Char> qsizetype AnyCaseFind::next(const Char *from, qsizetype at, qsizetype end) const
{
#if defined(__SSE2__)
    if constexpr (sizeof(Char) == 2) {
        const __m128i lower = _mm_set1_epi16(static_cast<short>(m_lower));
        const __m128i upper = _mm_set1_epi16(static_cast<short>(m_upper));
        for (; at + 8 <= end; at += 8) {
            const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + at));
            const __m128i hit = _mm_or_si128(_mm_cmpeq_epi16(eight, lower), _mm_cmpeq_epi16(eight, upper));
            const auto bits = static_cast<unsigned>(_mm_movemask_epi8(hit));
            if (bits != 0)
                return at + static_cast<qsizetype>(qCountTrailingZeroBits(bits) / 2);
        }
    } else {
        const __m128i lower = _mm_set1_epi8(static_cast<char>(m_lower));
        const __m128i upper = _mm_set1_epi8(static_cast<char>(m_upper));
        for (; at + 16 <= end; at += 16) {
            const __m128i sixteen = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + at));
            const __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(sixteen, lower), _mm_cmpeq_epi8(sixteen, upper));
            const auto bits = static_cast<unsigned>(_mm_movemask_epi8(hit));
            if (bits != 0)
                return at + static_cast<qsizetype>(qCountTrailingZeroBits(bits));
        }
    }
#endif
    for (; at < end; ++at) {
        const auto c = static_cast<char16_t>(static_cast<std::make_unsigned_t<Char>>(from[at]));
        if (c == m_lower || c == m_upper)
            return at;
    }
    return end;
}

template <typename View, typename Char> bool AnyCaseFind::find(View haystack, const Char *chars) const
{
    if (m_anchor < 0)
        return haystack.contains(m_text, Qt::CaseInsensitive);
    const qsizetype n = m_text.size();
    const qsizetype end = haystack.size() - n + m_anchor + 1; // past the last place the character may stand
    const bool byCases = sizeof(Char) == 1 && !m_lowers.isEmpty();
    const auto *lowers = reinterpret_cast<const char16_t *>(m_lowers.utf16());
    const auto *uppers = reinterpret_cast<const char16_t *>(m_uppers.utf16());
    for (qsizetype at = next(chars, m_anchor, end); at < end; at = next(chars, at + 1, end)) {
        const qsizetype start = at - m_anchor;
        if (!byCases) {
            if (haystack.sliced(start, n).compare(m_text, Qt::CaseInsensitive) == 0)
                return true;
            continue;
        }
        qsizetype i = 0;
        for (; i < n; ++i) {
            const auto c = static_cast<char16_t>(static_cast<std::make_unsigned_t<Char>>(chars[start + i]));
            if (c != lowers[i] && c != uppers[i])
                break;
        }
        if (i == n)
            return true;
    }
    return false;
}

bool AnyCaseFind::in(QStringView haystack) const
{
    return find(haystack, haystack.utf16());
}

bool AnyCaseFind::in(QLatin1StringView haystack) const
{
    return find(haystack, haystack.data());
}

} // namespace rechte
