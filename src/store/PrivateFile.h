#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

namespace store {

class UnfinishedFile;

// A file written with data of the database: an export, a list of rights. It holds names and rights, an
// export every password in a form anyone can turn back, so other users of the machine never get a right
// to it, whatever the umask allows them: owner and group get what the umask leaves (0640 under umask
// 022), from the file's first moment on, so there is no time in which another user could open it.
//
// With Existing::Refuse the path must be new: a file already there may be somebody's work. With
// Existing::Replace (the user agreed to it) the bytes go to a new file beside the target, which takes the
// target's place in one step at commit(), so that a failure never leaves half a file where a whole one
// stood. Bytes are written as they come; a file that is not committed is removed when the object ends.
// Every failure throws StoreError with a German message naming the file.
class PrivateFile
{
public:
    enum class Existing
    {
        Refuse,
        Replace
    };

    PrivateFile(const QString &path, Existing existing);
    ~PrivateFile();
    PrivateFile(const PrivateFile &) = delete;
    PrivateFile &operator=(const PrivateFile &) = delete;

    void write(QByteArrayView bytes);
    void commit();

private:
    void flush();
    [[noreturn]] void fail(int err);

    QString m_path;    // where the file ends up
    QString m_written; // where the bytes go until commit(): the path itself, or a new name beside it
    int m_fd = -1;
    QByteArray m_buffer;
    bool m_committed = false;
    std::unique_ptr<UnfinishedFile> m_unfinished; // until commit()
};

} // namespace store
