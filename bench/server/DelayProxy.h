#pragma once

// A TCP forwarder that stands for a network between the program and its server: it listens on 127.0.0.1,
// passes each connection on to the server's Unix socket, and holds every piece of data it reads for a set
// time before it passes it on, each way. A round trip through it takes twice the delay more.

#include <QString>

#include <atomic>
#include <chrono>
#include <thread>

namespace server {

class DelayProxy
{
public:
    // Forwards to the Unix socket at `socketPath`; throws StoreError when it cannot listen.
    explicit DelayProxy(const QString &socketPath);
    ~DelayProxy();
    DelayProxy(const DelayProxy &) = delete;
    DelayProxy &operator=(const DelayProxy &) = delete;

    int port() const { return m_port; }
    // For the data read from now on; what is held already goes when it was due.
    void setDelay(std::chrono::microseconds delay) { m_delayUs = delay.count(); }

private:
    void run();

    QByteArray m_socketPath;
    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    int m_port = 0;
    std::atomic<long long> m_delayUs{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// The server's Unix socket as a libpq URI with host= (a folder) and port= names it.
QString unixSocketOf(const QString &uri);

} // namespace server
