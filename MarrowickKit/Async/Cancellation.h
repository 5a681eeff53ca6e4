#pragma once

#include <QString>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

namespace marrowick {

// Thrown by an operation that stopped because its caller cancelled it. Distinct from every
// failure a peer can cause: only the owner of a CancelSource decides that work is cancelled.
class CancellationError : public std::exception {
public:
    const char *what() const noexcept override { return "cancelled"; }
};

// Whether a captured failure is a cancellation, which every layer passes on unchanged.
bool isCancellation(std::exception_ptr error);

namespace detail {
struct CancelState;
}

// Unregisters its callback when destroyed, so a callback never outlives what it captures.
class CancelRegistration {
public:
    CancelRegistration() = default;
    CancelRegistration(std::weak_ptr<detail::CancelState> state, std::uint64_t id);
    CancelRegistration(CancelRegistration &&other) noexcept;
    CancelRegistration &operator=(CancelRegistration &&other) noexcept;
    CancelRegistration(const CancelRegistration &) = delete;
    CancelRegistration &operator=(const CancelRegistration &) = delete;
    ~CancelRegistration();

    void reset();

private:
    std::weak_ptr<detail::CancelState> m_state;
    std::uint64_t m_id = 0;
};

// The receiving end of a cooperative cancellation. Work checks it after every suspension and
// registers callbacks that abort sockets, replies and sleeps at once. A default token is never
// cancelled. Tokens belong to the thread that created their source (the main thread).
class CancelToken {
public:
    CancelToken() = default;

    bool isCancelled() const;
    void throwIfCancelled() const;

    // Runs `callback` once when the token is cancelled, at once if it already is.
    [[nodiscard]] CancelRegistration onCancel(std::function<void()> callback) const;

private:
    friend class CancelSource;
    explicit CancelToken(std::shared_ptr<detail::CancelState> state);
    std::shared_ptr<detail::CancelState> m_state;
};

class CancelSource {
public:
    CancelSource();

    CancelToken token() const;
    bool isCancelled() const;
    // Marks the token cancelled and runs every registered callback, each once.
    void cancel();

private:
    std::shared_ptr<detail::CancelState> m_state;
};

} // namespace marrowick
