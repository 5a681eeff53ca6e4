#include "support/FakeHTTPClient.h"

#include "MarrowickKit/Model/ProviderError.h"
#include "MarrowickKit/Async/Sleep.h"

namespace marrowick::test {

FakeHTTPClient::FakeHTTPClient() : m_state(std::make_shared<State>()) {}

void FakeHTTPClient::answer(const QString &path, Reply reply)
{
    m_state->replies.insert(path, std::move(reply));
}

const QList<HTTPRequest> &FakeHTTPClient::requests() const
{
    return m_state->requests;
}

qsizetype FakeHTTPClient::inFlightAtFirstAnswer() const
{
    return m_state->inFlightAtFirstAnswer;
}

QCoro::Task<HTTPResult> FakeHTTPClient::data(HTTPRequest request, CancelToken cancel) const
{
    const auto state = m_state;
    state->requests.append(request);
    co_await nextEventLoopTurn();
    cancel.throwIfCancelled();
    if (state->inFlightAtFirstAnswer < 0)
        state->inFlightAtFirstAnswer = state->requests.size();
    const auto found = state->replies.constFind(request.url.path());
    if (found == state->replies.cend())
        throw ProviderError::upstream(QStringLiteral("connection refused"));
    if (!found->error.isEmpty())
        throw ProviderError::upstream(found->error);
    HTTPResult result;
    result.body = found->body;
    result.response.statusCode = found->status;
    result.response.url = request.url;
    co_return result;
}

} // namespace marrowick::test
