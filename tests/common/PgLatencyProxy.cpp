#include "PgLatencyProxy.h"

#include <libpq-fe.h>

#include <QByteArray>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The protocol's requests for an encrypted session, sent in place of a
// startup message and answered with one byte ('S' or 'N', or 'G').
constexpr quint32 SslRequestCode = 80877103;
constexpr quint32 GssRequestCode = 80877104;

quint32 bigEndian32(const unsigned char *P)
{
    return quint32(P[0]) << 24 | quint32(P[1]) << 16 | quint32(P[2]) << 8 | quint32(P[3]);
}

bool sendAll(int Fd, const char *Data, size_t Size)
{
    while (Size > 0) {
        const ssize_t n = ::send(Fd, Data, Size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        Data += n;
        Size -= size_t(n);
    }
    return true;
}

struct Chunk
{
    Clock::time_point Due;
    QByteArray Bytes; // empty: the server closed the connection
};

} // namespace

struct PgLatencyProxy::State
{
    QString ConnInfo;
    QString Problem;
    int Listener = -1;
    int Port = 0;
    std::atomic<int> DelayMs{0};
    std::atomic<int> RoundTrips{0};
    std::atomic<bool> Stopping{false};
    // The upstream server: a TCP address or a Unix socket path.
    sockaddr_storage Upstream{};
    socklen_t UpstreamLength = 0;

    std::mutex Lock;
    std::vector<std::thread> Threads;
    std::vector<int> Sockets; // every socket of every connection, closed at the end

    int connectUpstream() const
    {
        const int fd = ::socket(Upstream.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return -1;
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&Upstream), UpstreamLength) != 0) {
            ::close(fd);
            return -1;
        }
        if (Upstream.ss_family != AF_UNIX) {
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        }
        return fd;
    }

    void serve(int Client);
};

namespace {

// Sends the client's bytes on at once, reading the untyped messages that
// open a session: each encryption request makes the server answer one
// byte that is no message, which Untyped tells the reply's reader.
void forwardRequests(int Client, int Server, std::atomic<int> *Untyped)
{
    QByteArray startup; // bytes of the untyped opening messages not yet complete
    bool opening = true;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::recv(Client, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        if (opening) {
            startup.append(buffer, n);
            while (opening && startup.size() >= 8) {
                const auto *p = reinterpret_cast<const unsigned char *>(startup.constData());
                const quint32 length = bigEndian32(p);
                if (length < 8 || startup.size() < qsizetype(length))
                    break;
                const quint32 code = bigEndian32(p + 4);
                if (length == 8 && (code == SslRequestCode || code == GssRequestCode))
                    ++*Untyped;
                else
                    opening = false; // the startup message; typed messages follow
                startup.remove(0, length);
            }
        }
        if (!sendAll(Server, buffer, size_t(n)))
            break;
    }
    ::shutdown(Server, SHUT_WR);
}

} // namespace

void PgLatencyProxy::State::serve(int Client)
{
    const int server = connectUpstream();
    if (server < 0) {
        ::close(Client);
        return;
    }
    {
        std::lock_guard guard(Lock);
        Sockets.push_back(Client);
        Sockets.push_back(server);
    }
    auto untyped = std::make_shared<std::atomic<int>>(0);
    std::thread requests(forwardRequests, Client, server, untyped.get());

    // Replies travel through a queue, each chunk held until its due time,
    // so that a long reply is delayed once, not once per chunk.
    std::mutex queueLock;
    std::condition_variable queued;
    std::deque<Chunk> queue;
    std::thread replies([&] {
        for (;;) {
            Chunk chunk;
            {
                std::unique_lock guard(queueLock);
                queued.wait(guard, [&] { return !queue.empty(); });
                chunk = std::move(queue.front());
                queue.pop_front();
            }
            if (chunk.Bytes.isEmpty())
                break;
            std::this_thread::sleep_until(chunk.Due);
            if (!sendAll(Client, chunk.Bytes.constData(), size_t(chunk.Bytes.size())))
                break;
        }
        ::shutdown(Client, SHUT_WR);
    });

    // Reads the server's messages (type byte, then a length that counts
    // itself) across chunk boundaries to count ReadyForQuery.
    unsigned char header[5];
    int headerRead = 0;
    quint64 skip = 0;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::recv(server, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        const auto due = Clock::now() + std::chrono::milliseconds(DelayMs.load());
        for (ssize_t i = 0; i < n;) {
            if (skip > 0) {
                const quint64 take = std::min<quint64>(skip, quint64(n - i));
                skip -= take;
                i += ssize_t(take);
            } else if (headerRead == 0 && untyped->load() > 0) {
                --*untyped; // the answer to an encryption request
                ++i;
            } else {
                header[headerRead++] = static_cast<unsigned char>(buffer[i++]);
                if (headerRead == 5) {
                    if (header[0] == 'Z')
                        ++RoundTrips;
                    skip = bigEndian32(header + 1) - 4;
                    headerRead = 0;
                }
            }
        }
        std::lock_guard guard(queueLock);
        queue.push_back({due, QByteArray(buffer, n)});
        queued.notify_one();
    }
    {
        std::lock_guard guard(queueLock);
        queue.push_back({Clock::now(), QByteArray()});
        queued.notify_one();
    }
    replies.join();
    ::shutdown(server, SHUT_RDWR);
    ::shutdown(Client, SHUT_RDWR);
    requests.join();
}

PgLatencyProxy::PgLatencyProxy(const QString &ConnInfo, int DelayMs)
    : m_state(std::make_shared<State>())
{
    State &s = *m_state;
    s.ConnInfo = ConnInfo;
    s.DelayMs = DelayMs;
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(ConnInfo.toUtf8().constData(), &error);
    if (!options) {
        s.Problem = QStringLiteral("the connection string does not read: %1")
                        .arg(QString::fromUtf8(error ? error : ""));
        PQfreemem(error);
        return;
    }
    QByteArray host, hostAddr, port = "5432";
    for (PQconninfoOption *o = options; o->keyword; ++o) {
        if (!o->val || !*o->val)
            continue;
        if (qstrcmp(o->keyword, "host") == 0)
            host = o->val;
        else if (qstrcmp(o->keyword, "hostaddr") == 0)
            hostAddr = o->val;
        else if (qstrcmp(o->keyword, "port") == 0)
            port = o->val;
    }
    PQconninfoFree(options);
    if (hostAddr.isEmpty() && (host.isEmpty() || host.startsWith('/'))) {
        const QByteArray path
            = (host.isEmpty() ? QByteArray("/var/run/postgresql") : host) + "/.s.PGSQL." + port;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (size_t(path.size()) >= sizeof address.sun_path) {
            s.Problem = QStringLiteral("the server's socket path is too long");
            return;
        }
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        std::memcpy(&s.Upstream, &address, sizeof address);
        s.UpstreamLength = sizeof address;
    } else {
        addrinfo hints{};
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *found = nullptr;
        if (::getaddrinfo((hostAddr.isEmpty() ? host : hostAddr).constData(), port.constData(),
                          &hints, &found)
                != 0
            || !found) {
            s.Problem = QStringLiteral("the server's address does not resolve");
            return;
        }
        std::memcpy(&s.Upstream, found->ai_addr, found->ai_addrlen);
        s.UpstreamLength = found->ai_addrlen;
        ::freeaddrinfo(found);
    }

    s.Listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (s.Listener < 0 || ::bind(s.Listener, reinterpret_cast<sockaddr *>(&address), length) != 0
        || ::listen(s.Listener, 16) != 0
        || ::getsockname(s.Listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        s.Problem = QStringLiteral("the proxy cannot listen: %1").arg(strerror(errno));
        return;
    }
    s.Port = ntohs(address.sin_port);
    std::lock_guard guard(s.Lock);
    s.Threads.emplace_back([state = m_state.get()] {
        for (;;) {
            const int client = ::accept4(state->Listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0 || state->Stopping)
                break;
            const int one = 1;
            ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            std::lock_guard guard(state->Lock);
            state->Threads.emplace_back([state, client] { state->serve(client); });
        }
    });
}

PgLatencyProxy::~PgLatencyProxy()
{
    State &s = *m_state;
    s.Stopping = true;
    if (s.Listener >= 0)
        ::shutdown(s.Listener, SHUT_RDWR);
    std::vector<std::thread> threads;
    {
        std::lock_guard guard(s.Lock);
        for (int fd : s.Sockets)
            ::shutdown(fd, SHUT_RDWR);
    }
    // The accepting thread is first; once it is joined no thread is added.
    std::thread accepting;
    {
        std::lock_guard guard(s.Lock);
        if (!s.Threads.empty()) {
            accepting = std::move(s.Threads.front());
            s.Threads.erase(s.Threads.begin());
        }
    }
    if (accepting.joinable())
        accepting.join();
    {
        std::lock_guard guard(s.Lock);
        threads.swap(s.Threads);
        for (int fd : s.Sockets)
            ::shutdown(fd, SHUT_RDWR);
    }
    for (std::thread &t : threads)
        t.join();
    for (int fd : s.Sockets)
        ::close(fd);
    if (s.Listener >= 0)
        ::close(s.Listener);
}

QString PgLatencyProxy::Problem() const
{
    return m_state->Problem;
}

QString PgLatencyProxy::ConnInfo() const
{
    return m_state->ConnInfo
           + QStringLiteral(" host=127.0.0.1 hostaddr=127.0.0.1 port=%1").arg(m_state->Port);
}

void PgLatencyProxy::SetDelay(int DelayMs)
{
    m_state->DelayMs = DelayMs;
}

int PgLatencyProxy::RoundTrips() const
{
    return m_state->RoundTrips;
}

void PgLatencyProxy::ResetCount()
{
    m_state->RoundTrips = 0;
}
