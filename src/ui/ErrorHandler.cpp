#include "ErrorHandler.h"

#include "MessageBoxes.h"

namespace ui {

namespace {

void showErrorBox(const QString &text)
{
    messageBox(text, applicationTitle(), MsgKind::Error, MsgButton::OK);
}

} // namespace

QString withFullStop(const QString &text)
{
    // Every character of a surrogate pair lies above ".", so looking at the last UTF-16 unit is enough.
    if (!text.isEmpty() && text.back().unicode() > u'.')
        return text + u'.';
    return text;
}

QString errorText(const std::exception &error)
{
    if (const auto *storeError = dynamic_cast<const store::StoreError *>(&error))
        return withFullStop(storeError->message());
    return withFullStop(QString::fromUtf8(error.what()));
}

void showError(const std::exception &error)
{
    if (dynamic_cast<const store::Abort *>(&error))
        return;
    showErrorBox(errorText(error));
}

void installErrorHandler()
{
    store::setErrorReporter([](const std::exception &error) { detail::reportCaught(error); });
}

namespace detail {

void reportCaught(const std::exception &error) noexcept
{
    try {
        showError(error);
    } catch (...) { // NOLINT(bugprone-empty-catch): nowhere left to report to
    }
}

void reportUnknown() noexcept
{
    try {
        showErrorBox(withFullStop(QStringLiteral("Ein unbekannter Fehler ist aufgetreten")));
    } catch (...) { // NOLINT(bugprone-empty-catch): nowhere left to report to
    }
}

} // namespace detail

} // namespace ui
