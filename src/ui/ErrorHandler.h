#pragma once

#include "StoreError.h"

#include <QString>

#include <exception>
#include <functional>
#include <utility>

namespace ui {

// The default error handler: what the user sees of an error that no code handled.
//
// The box has the error icon, one "OK" and the application's title as its caption. Its text is the error's
// message (StoreError::message(), otherwise what() read as UTF-8), with a full stop appended by
// withFullStop(). store::Abort is the silent abort of an operation and shows nothing.
void showError(const std::exception &error);

// Appends "." when the text's last character has a code point above the full stop's: a text ending in ".",
// "!", a blank or any other character below "." stays as it is, and so does an empty text.
QString withFullStop(const QString &text);

// The text showError() would show, full stop included.
QString errorText(const std::exception &error);

// Makes showError() the process-wide reporter that non-UI code reaches through store::reportError().
void installErrorHandler();

namespace detail {
// Both swallow anything thrown while reporting; a failing error box must not take the program down.
void reportCaught(const std::exception &error) noexcept;
void reportUnknown() noexcept;
} // namespace detail

// Runs fn at the boundary where an exception must not go any further: every user-event handler and each
// step of a window's creation. Returns whether fn ran to its end. store::Abort ends fn silently; any other
// std::exception is shown by showError(); anything else is shown as an unknown error.
template <typename Fn> bool guarded(Fn &&fn) noexcept
{
    try {
        std::invoke(std::forward<Fn>(fn));
        return true;
    } catch (const store::Abort &) {
        return false;
    } catch (const std::exception &error) {
        detail::reportCaught(error);
        return false;
    } catch (...) {
        detail::reportUnknown();
        return false;
    }
}

} // namespace ui
