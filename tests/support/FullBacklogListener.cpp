#include "support/FullBacklogListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace marrowick::test {

FullBacklogListener::FullBacklogListener(const char *address, quint16 port)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &where.sin_addr);
    ::bind(m_listener, reinterpret_cast<sockaddr *>(&where), sizeof where);
    ::listen(m_listener, 0);
    socklen_t length = sizeof where;
    ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&where), &length);
    m_port = ntohs(where.sin_port);
    for (int &filler : m_fillers) {
        filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(filler, reinterpret_cast<sockaddr *>(&where), sizeof where);
    }
}

FullBacklogListener::~FullBacklogListener()
{
    for (int filler : m_fillers)
        ::close(filler);
    ::close(m_listener);
}

} // namespace marrowick::test
