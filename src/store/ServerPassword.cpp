#include "ServerPassword.h"

#include <QHash>

#include <algorithm>

namespace store {

namespace {
PasswordPrompt &prompt()
{
    static PasswordPrompt installed;
    return installed;
}
// Wiped when the process ends, like every other copy of a typed password.
struct Remembered
{
    QHash<QString, QString> passwords;
    Remembered() = default;
    Remembered(const Remembered &) = delete;
    Remembered &operator=(const Remembered &) = delete;
    ~Remembered()
    {
        for (QString &password : passwords)
            wipePasswordText(password);
    }
};
QHash<QString, QString> &remembered()
{
    static Remembered kept;
    return kept.passwords;
}
} // namespace

void rememberServerPassword(const QString &uri, const QString &password)
{
    remembered().insert(uri, password);
}

QString rememberedServerPassword(const QString &uri)
{
    return remembered().value(uri);
}

void forgetServerPassword(const QString &uri)
{
    const auto kept = remembered().find(uri);
    if (kept == remembered().end())
        return;
    wipePasswordText(*kept);
    remembered().erase(kept);
}

void wipePasswordText(QString &text) noexcept
{
    // A literal cannot be written, and a shared copy is not this holder's to overwrite.
    if (text.isDetached())
        std::fill(text.begin(), text.end(), QChar(0));
    text.clear();
}

void setServerPasswordPrompt(PasswordPrompt p)
{
    prompt() = std::move(p);
}

std::optional<QString> askServerPassword(const QString &server)
{
    return prompt() ? prompt()(server) : std::nullopt;
}

bool hasServerPasswordPrompt()
{
    return static_cast<bool>(prompt());
}

} // namespace store
