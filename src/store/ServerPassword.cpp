#include "ServerPassword.h"

namespace store {

namespace {
PasswordPrompt &prompt()
{
    static PasswordPrompt installed;
    return installed;
}
} // namespace

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
