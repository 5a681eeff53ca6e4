#pragma once

#include <QHash>
#include <QList>
#include <QUuid>

#include <initializer_list>
#include <utility>

namespace marrowick {

// A map from source id to T whose copies share everything until changed, like QHash, but a
// change copies only the small part that holds the key: each of the engine's updates carries
// the whole state, so with thousands of sources a plain QHash would be copied whole per poll.
template<typename T>
class SourceMap {
public:
    using Shard = QHash<QUuid, T>;
    static constexpr qsizetype shardCount = 256;

    SourceMap() = default;
    SourceMap(std::initializer_list<std::pair<QUuid, T>> entries)
    {
        for (const auto &[id, value] : entries)
            insert(id, value);
    }

    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    bool contains(const QUuid &id) const { return !isEmpty() && shard(id).contains(id); }
    T value(const QUuid &id, const T &fallback = T()) const
    {
        return isEmpty() ? fallback : shard(id).value(id, fallback);
    }
    // Nothing when absent; the pointer lives until the map changes.
    const T *find(const QUuid &id) const
    {
        if (isEmpty())
            return nullptr;
        const Shard &entries = shard(id);
        const auto it = entries.constFind(id);
        return it == entries.cend() ? nullptr : &it.value();
    }

    void insert(const QUuid &id, T value)
    {
        if (m_shards.isEmpty())
            m_shards.resize(shardCount);
        Shard &entries = m_shards[indexOf(id)];
        const qsizetype before = entries.size();
        entries.insert(id, std::move(value));
        m_size += entries.size() - before;
    }
    bool remove(const QUuid &id)
    {
        if (!contains(id))
            return false;
        m_shards[indexOf(id)].remove(id);
        --m_size;
        return true;
    }

    // Calls f(id, value) for every entry, in no particular order.
    template<typename F>
    void forEach(F &&f) const
    {
        for (const Shard &entries : m_shards) {
            for (auto it = entries.cbegin(); it != entries.cend(); ++it)
                f(it.key(), it.value());
        }
    }
    QList<QUuid> keys() const
    {
        QList<QUuid> ids;
        ids.reserve(m_size);
        forEach([&ids](const QUuid &id, const T &) { ids.append(id); });
        return ids;
    }
    QHash<QUuid, T> toHash() const
    {
        QHash<QUuid, T> hash;
        hash.reserve(m_size);
        forEach([&hash](const QUuid &id, const T &value) { hash.insert(id, value); });
        return hash;
    }

    bool operator==(const SourceMap &other) const
    {
        if (m_size != other.m_size)
            return false;
        if (m_size == 0)
            return true;
        return m_shards == other.m_shards;
    }

private:
    static qsizetype indexOf(const QUuid &id) { return qsizetype(qHash(id, 0) % shardCount); }
    const Shard &shard(const QUuid &id) const { return m_shards.at(indexOf(id)); }

    QList<Shard> m_shards; // empty until the first insert, then shardCount entries
    qsizetype m_size = 0;
};

} // namespace marrowick
