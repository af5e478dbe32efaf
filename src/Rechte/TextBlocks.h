#pragma once

#include <QString>
#include <QStringView>

#include <memory>
#include <vector>

namespace rechte {

// A text kept by TextBlocks: one byte per character when every character fits in Latin-1 (as nearly all of
// a journal's do), two otherwise.
class StoredText
{
public:
    StoredText() = default;
    bool isWide() const { return m_wide; }
    QLatin1StringView latin1() const { return QLatin1StringView(static_cast<const char *>(m_at), m_size); }
    QStringView utf16() const { return QStringView(static_cast<const char16_t *>(m_at), m_size); }
    QString toString() const { return m_wide ? utf16().toString() : QString(latin1()); }

private:
    friend class TextBlocks;
    StoredText(const void *at, qsizetype size, bool wide) : m_at(at), m_size(size), m_wide(wide) {}
    const void *m_at = "";
    qsizetype m_size = 0;
    bool m_wide = false;
};

// Many texts kept one after the other in large blocks that never move: a million journal changes are then
// a few hundred allocations instead of a million, and a search over all of them reads half the memory, in
// the order it lies.
class TextBlocks
{
public:
    // A copy of the text, valid until clear().
    StoredText add(QStringView text);
    void clear();

private:
    void *room(qsizetype bytes);

    static constexpr qsizetype kBlock = 1 << 21; // bytes
    std::vector<std::unique_ptr<char[]>> m_blocks;
    qsizetype m_used = kBlock; // in the last block
};

} // namespace rechte
