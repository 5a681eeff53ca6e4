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

    QCoro::Task<std::optional<SRVRecord>> resolve(QString service, CancelToken cancel = {}) const override;

private:
    struct State {
        QHash<QString, SRVRecord> records;
        QList<QString> lookups;
    };
    std::shared_ptr<State> m_state;
};

} // namespace marrowick::test
