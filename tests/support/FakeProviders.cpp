#include "support/FakeProviders.h"

namespace marrowick::test {

class FakeProviders::Provider : public SourceProvider {
public:
    Provider(QUuid id, int fetchNumber, Step step) : m_id(id), m_fetchNumber(fetchNumber), m_step(std::move(step)) {}

    QCoro::Task<SourceSnapshot> fetch(CancelToken) override
    {
        if (m_step.gate) {
            const Completion<Done> gate = *m_step.gate;
            co_await gate;
        }
        if (m_step.kind == Step::Kind::throwCancellation)
            throw CancellationError();
        if (m_step.kind == Step::Kind::throwError)
            std::rethrow_exception(m_step.thrown);
        if (m_step.kind == Step::Kind::fail)
            throw ProviderError::upstream(m_step.error);
        SourceSnapshot snapshot = FakeProviders::snapshot(m_id, m_fetchNumber);
        if (m_step.kind == Step::Kind::down) {
            CheckResult check = *snapshot.widgets.first().get<CheckResult>();
            check.status = ServiceStatus::down;
            check.detail = m_step.error;
            snapshot.widgets = {WidgetData::check(check)};
        }
        co_return snapshot;
    }

private:
    QUuid m_id;
    int m_fetchNumber;
    Step m_step;
};

ProviderFactory FakeProviders::factory()
{
    return [this](const AnySourceConfig &config, CredentialStoreHandle) -> std::unique_ptr<SourceProvider> {
        const QUuid id = config.id();
        ++m_factoryCalls[id];
        auto &script = m_script[id];
        const Step step = script.isEmpty() ? Step{} : script.dequeue();
        if (step.kind == Step::Kind::failInFactory)
            throw ProviderError::misconfigured(step.error);
        return std::make_unique<Provider>(id, ++m_fetches[id], step);
    };
}

void FakeProviders::failNext(const QUuid &id, const QString &error, int times)
{
    for (int i = 0; i < times; ++i)
        m_script[id].enqueue(Step{Step::Kind::fail, error, std::nullopt});
}

void FakeProviders::failInFactoryNext(const QUuid &id, const QString &error, int times)
{
    for (int i = 0; i < times; ++i)
        m_script[id].enqueue(Step{Step::Kind::failInFactory, error, std::nullopt});
}

void FakeProviders::throwCancellationNext(const QUuid &id)
{
    m_script[id].enqueue(Step{Step::Kind::throwCancellation, QString(), std::nullopt});
}

void FakeProviders::throwNext(const QUuid &id, std::exception_ptr error)
{
    m_script[id].enqueue(Step{Step::Kind::throwError, QString(), std::nullopt, std::move(error)});
}

void FakeProviders::downNext(const QUuid &id, const QString &reason)
{
    m_script[id].enqueue(Step{Step::Kind::down, reason, std::nullopt});
}

Completion<Done> FakeProviders::holdNext(const QUuid &id)
{
    Completion<Done> gate;
    m_script[id].enqueue(Step{Step::Kind::succeed, QString(), gate});
    return gate;
}

SourceSnapshot FakeProviders::snapshot(const QUuid &id, int fetchNumber)
{
    CheckResult check;
    check.id = id.toString(QUuid::WithoutBraces).toUpper();
    check.name = QStringLiteral("poll %1").arg(fetchNumber);
    check.status = ServiceStatus::up;
    check.latencyMs = fetchNumber;
    return SourceSnapshot{id, Instant{double(fetchNumber)}, {WidgetData::check(check)}};
}

} // namespace marrowick::test
