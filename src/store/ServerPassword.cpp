#include "ServerPassword.h"

#include <QHash>

namespace store {

namespace {
PasswordPrompt &prompt()
{
    static PasswordPrompt installed;
    return installed;
}
QHash<QString, QString> &remembered()
{
    static QHash<QString, QString> passwords;
    return passwords;
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
    remembered().remove(uri);
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
