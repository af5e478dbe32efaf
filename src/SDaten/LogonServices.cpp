#include "LogonServices.h"

#include "Win1252.h"

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace {
constexpr char kScrambleByte = 0x3E;
constexpr int kAccountBuffer = 128;
} // namespace

QByteArray ScramblePassword(const QByteArray &password)
{
    QByteArray out = password;
    for (char &b : out)
        b = static_cast<char>(b ^ kScrambleByte);
    return out;
}

QString ScramblePasswordText(const QString &password)
{
    return store::Win1252::toUnicode(ScramblePassword(store::Win1252::fromUnicode(password)));
}

QByteArray CurrentAccountName()
{
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<size_t>(size > 0 ? size : 16384));
    passwd entry{};
    passwd *found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_name)
        return QByteArray();
    // The name and its terminating NUL share a buffer of 128 bytes.
    return QByteArray(found->pw_name).left(kAccountBuffer - 1);
}
