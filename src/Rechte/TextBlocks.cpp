#include "TextBlocks.h"

#include <algorithm>

namespace rechte {

void *TextBlocks::room(qsizetype bytes)
{
    m_used += m_used % 2; // UTF-16 at even addresses
    if (m_used + bytes > kBlock) {
        // A text longer than a block gets one of its own.
        m_blocks.push_back(
            std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(std::max(bytes, kBlock))));
        m_used = 0;
    }
    char *at = m_blocks.back().get() + m_used;
    m_used = bytes >= kBlock ? kBlock : m_used + bytes;
    return at;
}

StoredText TextBlocks::add(QStringView text)
{
    const qsizetype n = text.size();
    if (n == 0)
        return {};
    const char16_t *chars = text.utf16();
    char16_t all = 0;
    for (qsizetype i = 0; i < n; ++i)
        all |= chars[i];
    if (all < 0x100) {
        auto *at = static_cast<char *>(room(n));
        std::transform(chars, chars + n, at, [](char16_t c) { return static_cast<char>(c); });
        return StoredText(at, n, false);
    }
    auto *at = static_cast<char16_t *>(room(n * 2));
    std::copy_n(chars, n, at);
    return StoredText(at, n, true);
}

void TextBlocks::clear()
{
    m_blocks.clear();
    m_used = kBlock;
}

} // namespace rechte
