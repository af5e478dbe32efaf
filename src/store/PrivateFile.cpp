#include "PrivateFile.h"

#include "FileChecks.h"
#include "StoreError.h"
#include "SystemError.h"
#include "Unfinished.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace store {

namespace {

constexpr qsizetype kBufferBytes = 1 << 16;

int createPrivate(const QString &path)
{
    return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateMode);
}

} // namespace

PrivateFile::PrivateFile(const QString &path, Existing existing) : m_path(path), m_written(path)
{
    if (existing == Existing::Refuse) {
        m_fd = createPrivate(path);
        if (m_fd < 0)
            refuseNewFile(path, errno, QStringLiteral("Die Datei"));
        m_unfinished = std::make_unique<UnfinishedFile>(m_written);
        return;
    }
    const QString written = QStringLiteral("geschrieben");
    if (QFileInfo(path).isDir())
        refuseNewFile(path, EEXIST, QStringLiteral("Die Datei"), written);
    // A name of our own beside the target, in its folder, so that the rename at the end cannot cross
    // file systems.
    const QFileInfo target(path);
    for (int attempt = 0; m_fd < 0; ++attempt) {
        m_written = target.absoluteDir().filePath(
            QStringLiteral(".%1.%2")
                .arg(target.fileName())
                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        m_fd = createPrivate(m_written);
        if (m_fd < 0 && (errno != EEXIST || attempt > 100))
            refuseNewFile(path, errno, QStringLiteral("Die Datei"), written);
    }
    m_unfinished = std::make_unique<UnfinishedFile>(m_written);
}

PrivateFile::~PrivateFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_committed)
        ::unlink(QFile::encodeName(m_written).constData());
}

void PrivateFile::write(QByteArrayView bytes)
{
    m_buffer.append(bytes);
    if (m_buffer.size() >= kBufferBytes)
        flush();
}

void PrivateFile::flush()
{
    const char *data = m_buffer.constData();
    qsizetype left = m_buffer.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail(errno);
        data += n;
        left -= n;
    }
    m_buffer.clear();
}

void PrivateFile::commit()
{
    flush();
    // On the disk before it counts as written, and before it takes the place of what stood there.
    if (::fsync(m_fd) != 0)
        fail(errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        fail(errno);
    if (m_written != m_path &&
        ::rename(QFile::encodeName(m_written).constData(), QFile::encodeName(m_path).constData()) != 0)
        fail(errno);
    m_committed = true;
    m_unfinished.reset();
}

void PrivateFile::fail(int err)
{
    throw StoreError(QStringLiteral("Die Datei %1 kann nicht geschrieben werden: %2.")
                         .arg(quoted(m_path), systemReason(err)));
}

} // namespace store
