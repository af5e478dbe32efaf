#include "DelayProxy.h"

#include "StoreError.h"

#include <QUrl>
#include <QUrlQuery>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

namespace server {

namespace {

using Clock = std::chrono::steady_clock;

void nonBlocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

[[noreturn]] void fail(const char *what)
{
    throw store::StoreError(QStringLiteral("delay proxy: %1: %2")
                                .arg(QString::fromUtf8(what), QString::fromLocal8Bit(std::strerror(errno))));
}

int connectUnix(const QByteArray &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd < 0 || static_cast<std::size_t>(path.size()) >= sizeof address.sun_path) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    nonBlocking(fd);
    return fd;
}

// Data read from one side, held until it is due on the other.
struct Held
{
    Clock::time_point due;
    QByteArray bytes;
};

struct Way
{
    int from = -1;
    int to = -1;
    std::deque<Held> held;
    qsizetype sent = 0; // of the first held piece
    bool ended = false; // `from` closed its side
    bool shut = false;  // and that was passed on, after everything held
    bool due(Clock::time_point now) const { return !held.empty() && held.front().due <= now; }
};

struct Link
{
    Way up; // the program to the server
    Way down;
    bool broken = false;
    ~Link()
    {
        ::close(up.from);
        ::close(up.to);
    }
    bool done() const { return broken || (up.shut && down.shut); }
};

// Reads what is there; false when the side is gone.
void readInto(Way &way, long long delayUs)
{
    char buffer[65536];
    const ssize_t n = ::recv(way.from, buffer, sizeof buffer, 0);
    if (n > 0)
        way.held.push_back({Clock::now() + std::chrono::microseconds(delayUs),
                            QByteArray(buffer, static_cast<qsizetype>(n))});
    else if (n == 0 || (errno != EAGAIN && errno != EINTR))
        way.ended = true;
}

// Passes on what is due; false when the other side is gone.
bool writeDue(Way &way)
{
    const Clock::time_point now = Clock::now();
    while (way.due(now)) {
        const QByteArray &bytes = way.held.front().bytes;
        const ssize_t n = ::send(way.to, bytes.constData() + way.sent,
                                 static_cast<std::size_t>(bytes.size() - way.sent), MSG_NOSIGNAL);
        if (n < 0)
            return errno == EAGAIN || errno == EINTR;
        way.sent += n;
        if (way.sent < bytes.size())
            return true;
        way.held.pop_front();
        way.sent = 0;
    }
    return true;
}

void passOnEnd(Way &way)
{
    if (way.ended && way.held.empty() && !way.shut) {
        ::shutdown(way.to, SHUT_WR);
        way.shut = true;
    }
}

} // namespace

QString unixSocketOf(const QString &uri)
{
    const QUrlQuery query(QUrl(uri).query());
    const QString port = query.hasQueryItem(QStringLiteral("port"))
                             ? query.queryItemValue(QStringLiteral("port"))
                             : QStringLiteral("5432");
    return query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded) + QStringLiteral("/.s.PGSQL.") +
           port;
}

DelayProxy::DelayProxy(const QString &socketPath) : m_socketPath(socketPath.toLocal8Bit())
{
    m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
    if (m_listen < 0)
        fail("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_listen, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(m_listen, 16) != 0 ||
        ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        fail("listen");
    m_port = ntohs(address.sin_port);
    nonBlocking(m_listen);
    if (::pipe(m_wake) != 0)
        fail("pipe");
    m_thread = std::thread([this] { run(); });
}

DelayProxy::~DelayProxy()
{
    m_stop = true;
    const char stop = 0;
    [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &stop, 1);
    m_thread.join();
    ::close(m_listen);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

void DelayProxy::run()
{
    std::vector<std::unique_ptr<Link>> links;
    std::vector<pollfd> fds;
    while (!m_stop) {
        const Clock::time_point now = Clock::now();
        fds.assign({{m_wake[0], POLLIN, 0}, {m_listen, POLLIN, 0}});
        Clock::time_point next = Clock::time_point::max();
        for (const auto &link : links) {
            // Data due already waits for its socket to take it (POLLOUT), not for the clock.
            for (const Way *way : {&link->up, &link->down}) {
                if (!way->held.empty() && !way->due(now))
                    next = std::min(next, way->held.front().due);
            }
            const auto events = [&](const Way &reading, const Way &writing) {
                return static_cast<short>((reading.ended ? 0 : POLLIN) | (writing.due(now) ? POLLOUT : 0));
            };
            fds.push_back({link->up.from, events(link->up, link->down), 0});
            fds.push_back({link->up.to, events(link->down, link->up), 0});
        }
        timespec wait{};
        timespec *timeout = nullptr;
        if (next != Clock::time_point::max()) {
            const auto left = std::max(Clock::duration::zero(), next - now);
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            wait.tv_sec = static_cast<time_t>(ns / 1000000000);
            wait.tv_nsec = static_cast<long>(ns % 1000000000);
            timeout = &wait;
        }
        if (::ppoll(fds.data(), fds.size(), timeout, nullptr) < 0 && errno != EINTR)
            return;
        if (fds[1].revents & POLLIN) {
            const int client = ::accept(m_listen, nullptr, nullptr);
            if (client >= 0) {
                const int target = connectUnix(m_socketPath);
                if (target < 0) {
                    ::close(client);
                } else {
                    nonBlocking(client);
                    const int on = 1;
                    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                    auto link = std::make_unique<Link>();
                    link->up.from = link->down.to = client;
                    link->up.to = link->down.from = target;
                    links.push_back(std::move(link));
                }
            }
        }
        // The links accepted just now have no entries yet.
        for (std::size_t k = 0; 2 * k + 3 < fds.size(); ++k) {
            Link &link = *links[k];
            const pollfd &client = fds[2 * k + 2];
            const pollfd &target = fds[2 * k + 3];
            if (client.revents & (POLLIN | POLLHUP | POLLERR))
                readInto(link.up, m_delayUs);
            if (target.revents & (POLLIN | POLLHUP | POLLERR))
                readInto(link.down, m_delayUs);
        }
        for (const auto &link : links) {
            if (!writeDue(link->up) || !writeDue(link->down))
                link->broken = true;
            passOnEnd(link->up);
            passOnEnd(link->down);
        }
        std::erase_if(links, [](const auto &link) { return link->done(); });
    }
}

} // namespace server
