#pragma once

#include <QtGlobal>

namespace marrowick::test {

// A listener whose accept queue is full, so a further connection attempt is never answered, as
// with a host whose packets are dropped. On 127.0.0.1 by default, on a free port unless given.
class FullBacklogListener {
public:
    explicit FullBacklogListener(const char *address = "127.0.0.1", quint16 port = 0);
    ~FullBacklogListener();
    FullBacklogListener(const FullBacklogListener &) = delete;
    FullBacklogListener &operator=(const FullBacklogListener &) = delete;

    quint16 port() const { return m_port; }

private:
    int m_listener = -1;
    int m_fillers[3] = {-1, -1, -1};
    quint16 m_port = 0;
};

} // namespace marrowick::test
