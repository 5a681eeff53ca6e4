#pragma once

#include <QCoro/QCoroTask>

#include <exception>
#include <functional>
#include <optional>
#include <type_traits>

namespace marrowick::test {

namespace detail {

template<typename T>
struct Outcome {
    std::optional<T> value;
    std::exception_ptr error;
};

template<>
struct Outcome<void> {
    std::exception_ptr error;
};

// QCoro::waitFor never returns when the task throws, so the failure is caught inside.
template<typename T>
QCoro::Task<Outcome<T>> capture(QCoro::Task<T> task)
{
    Outcome<T> outcome;
    try {
        if constexpr (std::is_void_v<T>)
            co_await task;
        else
            outcome.value.emplace(co_await task);
    } catch (...) {
        outcome.error = std::current_exception();
    }
    co_return outcome;
}

} // namespace detail

// Runs a task to its end on a nested event loop and hands back its value or rethrows.
template<typename T>
T await(QCoro::Task<T> task)
{
    auto outcome = QCoro::waitFor(detail::capture(std::move(task)));
    if (outcome.error)
        std::rethrow_exception(outcome.error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*outcome.value);
}

// The exception a callable throws, or nullptr when it throws nothing.
inline std::exception_ptr thrownBy(const std::function<void()> &call)
{
    try {
        call();
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

// The what() text of what a callable throws, or an empty text when it throws nothing.
inline QString errorText(const std::function<void()> &call)
{
    try {
        call();
    } catch (const std::exception &error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

} // namespace marrowick::test
