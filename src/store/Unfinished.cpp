#include "Unfinished.h"

#include <QFile>

#include <array>
#include <atomic>
#include <cstring>
#include <unistd.h>

namespace store {

namespace {

constexpr std::size_t kSlots = 16;
constexpr std::size_t kPathBytes = 4096;
constexpr char kJournal[] = "-journal";

// Written only while a slot is free, read by a signal handler only once it is marked in use.
struct Slot
{
    std::atomic<bool> used{false};
    std::array<char, kPathBytes + sizeof(kJournal)> path{};
    std::array<char, kPathBytes + sizeof(kJournal)> journal{};
};

std::array<Slot, kSlots> openFiles;

} // namespace

UnfinishedFile::UnfinishedFile(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty() || static_cast<std::size_t>(native.size()) >= kPathBytes)
        return;
    for (std::size_t i = 0; i < kSlots; ++i) {
        Slot &slot = openFiles[i];
        if (slot.used.load())
            continue;
        std::memcpy(slot.path.data(), native.constData(), static_cast<std::size_t>(native.size()) + 1);
        std::memcpy(slot.journal.data(), native.constData(), static_cast<std::size_t>(native.size()));
        std::memcpy(slot.journal.data() + native.size(), kJournal, sizeof(kJournal));
        slot.used.store(true);
        m_slot = static_cast<int>(i);
        return;
    }
}

UnfinishedFile::~UnfinishedFile()
{
    if (m_slot >= 0)
        openFiles[static_cast<std::size_t>(m_slot)].used.store(false);
}

int removeUnfinishedFiles() noexcept
{
    int removed = 0;
    for (Slot &slot : openFiles) {
        if (!slot.used.load())
            continue;
        removed += ::unlink(slot.path.data()) == 0 ? 1 : 0;
        ::unlink(slot.journal.data());
    }
    return removed;
}

} // namespace store
