#include "MarrowickKit/Async/Cancellation.h"

#include <map>
#include <utility>

namespace marrowick {

namespace detail {
struct CancelState {
    bool cancelled = false;
    std::uint64_t nextID = 1;
    std::map<std::uint64_t, std::function<void()>> callbacks;
};
} // namespace detail

CancelRegistration::CancelRegistration(std::weak_ptr<detail::CancelState> state, std::uint64_t id)
    : m_state(std::move(state)), m_id(id)
{
}

CancelRegistration::CancelRegistration(CancelRegistration &&other) noexcept
    : m_state(std::move(other.m_state)), m_id(std::exchange(other.m_id, 0))
{
}

CancelRegistration &CancelRegistration::operator=(CancelRegistration &&other) noexcept
{
    if (this != &other) {
        reset();
        m_state = std::move(other.m_state);
        m_id = std::exchange(other.m_id, 0);
    }
    return *this;
}

CancelRegistration::~CancelRegistration()
{
    reset();
}

void CancelRegistration::reset()
{
    if (auto state = m_state.lock(); state && m_id != 0)
        state->callbacks.erase(m_id);
    m_state.reset();
    m_id = 0;
}

CancelToken::CancelToken(std::shared_ptr<detail::CancelState> state) : m_state(std::move(state)) {}

bool CancelToken::isCancelled() const
{
    return m_state && m_state->cancelled;
}

void CancelToken::throwIfCancelled() const
{
    if (isCancelled())
        throw CancellationError();
}

CancelRegistration CancelToken::onCancel(std::function<void()> callback) const
{
    if (!m_state)
        return {};
    if (m_state->cancelled) {
        callback();
        return {};
    }
    const auto id = m_state->nextID++;
    m_state->callbacks.emplace(id, std::move(callback));
    return CancelRegistration(m_state, id);
}

CancelSource::CancelSource() : m_state(std::make_shared<detail::CancelState>()) {}

CancelToken CancelSource::token() const
{
    return CancelToken(m_state);
}

bool CancelSource::isCancelled() const
{
    return m_state->cancelled;
}

void CancelSource::cancel()
{
    if (m_state->cancelled)
        return;
    m_state->cancelled = true;
    // A callback may register or unregister others; take them out first.
    auto callbacks = std::exchange(m_state->callbacks, {});
    for (auto &[id, callback] : callbacks)
        callback();
}

bool isCancellation(std::exception_ptr error)
{
    if (!error)
        return false;
    try {
        std::rethrow_exception(error);
    } catch (const CancellationError &) {
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace marrowick
