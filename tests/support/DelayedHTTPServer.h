#pragma once

#include <QThread>
#include <QUrl>

namespace marrowick::test {

// A keep-alive HTTP/1.1 server on 127.0.0.1 that answers every request with a small 200 once
// `delayMs` have passed since the request arrived. It runs on a thread of its own, so it sees
// a request when it arrives, however busy the test's thread is.
class DelayedHTTPServer {
public:
    explicit DelayedHTTPServer(int delayMs);
    ~DelayedHTTPServer();
    DelayedHTTPServer(const DelayedHTTPServer &) = delete;
    DelayedHTTPServer &operator=(const DelayedHTTPServer &) = delete;

    QUrl url(const QString &path = QStringLiteral("/")) const;

private:
    QThread m_thread;
    QObject *m_worker = nullptr;
    quint16 m_port = 0;
};

} // namespace marrowick::test
