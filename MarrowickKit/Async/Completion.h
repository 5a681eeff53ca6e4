#pragma once

#include <QCoreApplication>
#include <QMetaObject>

#include <coroutine>
#include <exception>
#include <memory>
#include <optional>
#include <utility>
#include <variant>

namespace marrowick {

// A one-shot result that a coroutine awaits and callbacks (signals, timers, cancellation)
// complete. The first completion wins; later ones are ignored, so racing callbacks need no
// further guard. The awaiting coroutine is resumed from the event loop, never from inside the
// callback, so a callback may safely delete the object that emitted it.
template<typename T>
class Completion {
    struct State {
        std::variant<std::monostate, T, std::exception_ptr> outcome;
        std::coroutine_handle<> waiter;
    };

public:
    Completion() : m_state(std::make_shared<State>()) {}

    bool isDone() const { return m_state->outcome.index() != 0; }

    void complete(T value) const { finish(std::move(value)); }
    void fail(std::exception_ptr error) const { finish(std::move(error)); }
    template<typename E>
    void fail(E error) const { finish(std::make_exception_ptr(std::move(error))); }

    auto operator co_await() const
    {
        struct Awaiter {
            std::shared_ptr<State> state;
            bool await_ready() const noexcept { return state->outcome.index() != 0; }
            void await_suspend(std::coroutine_handle<> handle) { state->waiter = handle; }
            T await_resume()
            {
                if (auto *error = std::get_if<std::exception_ptr>(&state->outcome))
                    std::rethrow_exception(*error);
                return std::move(std::get<T>(state->outcome));
            }
        };
        return Awaiter{m_state};
    }

private:
    template<typename V>
    void finish(V &&value) const
    {
        if (isDone())
            return;
        m_state->outcome = std::forward<V>(value);
        if (auto waiter = std::exchange(m_state->waiter, {}))
            resumeLater(waiter);
    }

    static void resumeLater(std::coroutine_handle<> waiter)
    {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [waiter] { waiter.resume(); }, Qt::QueuedConnection);
    }

    std::shared_ptr<State> m_state;
};

// For completions that carry no value.
struct Done {};

} // namespace marrowick
