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

QCoro::Task<std::optional<SRVRecord>> FakeSRVResolver::resolve(QString service, CancelToken) const
{
    m_state->lookups.append(service);
    const auto found = m_state->records.constFind(service);
    if (found == m_state->records.cend())
        co_return std::nullopt;
    co_return *found;
}

} // namespace marrowick::test
