#pragma once

#include <QString>

#include <atomic>
#include <memory>

// A PostgreSQL server made remote: a TCP proxy on 127.0.0.1 that passes
// what a client sends at once and holds every reply of the server for a
// delay before passing it on, as a network of that round-trip time would.
// It counts the server's ReadyForQuery messages, one at the end of every
// exchange the client waits for: the number of round trips, exact whatever
// the machine's speed. The SSL and GSS encryption requests a client may send
// before its startup message are answered with one byte that is no message;
// the proxy passes them by (an encrypted session cannot be counted: the
// server it fronts must answer them no).
class PgLatencyProxy
{
public:
    // Fronts the server that the libpq connection string ConnInfo names
    // (its host or hostaddr, and port; a socket folder as host also serves).
    explicit PgLatencyProxy(const QString &ConnInfo, int DelayMs = 0);
    ~PgLatencyProxy();
    PgLatencyProxy(const PgLatencyProxy &) = delete;
    PgLatencyProxy &operator=(const PgLatencyProxy &) = delete;

    // Empty when the proxy listens; otherwise why it could not.
    QString Problem() const;
    // ConnInfo with the proxy in place of the server.
    QString ConnInfo() const;
    void SetDelay(int DelayMs);
    // ReadyForQuery messages passed on since the last ResetCount.
    int RoundTrips() const;
    void ResetCount();

    struct State;

private:
    std::shared_ptr<State> m_state;
};
