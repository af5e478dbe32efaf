#include "StoreError.h"

#include <cstdio>

namespace store {

namespace {
std::function<void(const std::exception &)> &reporter()
{
    static std::function<void(const std::exception &)> r;
    return r;
}
} // namespace

void setErrorReporter(std::function<void(const std::exception &)> r)
{
    reporter() = std::move(r);
}

void reportError(const std::exception &error)
{
    if (dynamic_cast<const Abort *>(&error))
        return;
    if (reporter()) {
        reporter()(error);
        return;
    }
    std::fprintf(stderr, "%s\n", error.what());
}

} // namespace store
