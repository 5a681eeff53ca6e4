#pragma once

#include "MarrowickKit/Transport/SRVResolver.h"

#include <QHash>
#include <QList>

#include <memory>

namespace marrowick::test {

// Answers SRV lookups from a table and records every name asked for.
class FakeSRVResolver : public SRVResolver {
public:
    FakeSRVResolver();

    void add(const QString &service, SRVRecord record);
    const QList<QString> &lookups() const;
    const QList<double> &timeouts() const;

    QCoro::Task<std::optional<SRVRecord>> resolve(QString service, double timeout,
                                                  CancelToken cancel = {}) const override;

private:
    struct State {
        QHash<QString, SRVRecord> records;
        QList<QString> lookups;
        QList<double> timeouts;
    };
    std::shared_ptr<State> m_state;
};

} // namespace marrowick::test
