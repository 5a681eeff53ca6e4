#include "support/FakeSRVResolver.h"

namespace marrowick::test {

FakeSRVResolver::FakeSRVResolver() : m_state(std::make_shared<State>()) {}

void FakeSRVResolver::add(const QString &service, SRVRecord record)
{
    m_state->records.insert(service, std::move(record));
}

const QList<QString> &FakeSRVResolver::lookups() const
{
    return m_state->lookups;
}

const QList<double> &FakeSRVResolver::timeouts() const
{
    return m_state->timeouts;
}

QCoro::Task<std::optional<SRVRecord>> FakeSRVResolver::resolve(QString service, double timeout, CancelToken) const
{
    m_state->lookups.append(service);
    m_state->timeouts.append(timeout);
    const auto found = m_state->records.constFind(service);
    if (found == m_state->records.cend())
        co_return std::nullopt;
    co_return *found;
}

} // namespace marrowick::test
