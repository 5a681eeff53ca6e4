#pragma once

#include "MarrowickKit/Transport/HTTPClient.h"

#include <QHash>
#include <QList>

#include <memory>

namespace marrowick::test {

// A scripted HTTP server keyed by path. Each request is recorded when sent and answered on a
// later turn of the event loop, so concurrent requests are all in flight before any answer.
class FakeHTTPClient : public HTTPClient {
public:
    struct Reply {
        int status = 200;
        QByteArray body;
        QString error; // when set: the client throws upstream with this text

        static Reply ok(QByteArray body) { return Reply{200, std::move(body), {}}; }
        static Reply withStatus(int code, QByteArray body = {}) { return Reply{code, std::move(body), {}}; }
        static Reply failure(QString text) { return Reply{0, {}, std::move(text)}; }
    };

    FakeHTTPClient();

    // Paths without an answer get "connection refused".
    void answer(const QString &path, Reply reply);

    const QList<HTTPRequest> &requests() const;
    // How many requests had been sent when the first answer was given.
    qsizetype inFlightAtFirstAnswer() const;

    QCoro::Task<HTTPResult> data(HTTPRequest request, CancelToken cancel = {}) const override;

private:
    struct State {
        QHash<QString, Reply> replies;
        QList<HTTPRequest> requests;
        qsizetype inFlightAtFirstAnswer = -1;
    };
    std::shared_ptr<State> m_state;
};

} // namespace marrowick::test
