#pragma once

#include <QCoro/QCoroTask>

#include <exception>
#include <functional>
#include <optional>
#include <type_traits>

namespace marrowick::test {

namespace detail {

// QCoro::waitFor never leaves its loop when the task throws, so the outcome is caught here.
template<typename T>
QCoro::Task<std::optional<T>> capture(QCoro::Task<T> task, std::exception_ptr *failure)
{
    try {
        T value = co_await task;
        co_return std::optional<T>(std::move(value));
    } catch (...) {
        *failure = std::current_exception();
    }
    co_return std::nullopt;
}

inline QCoro::Task<bool> capture(QCoro::Task<void> task, std::exception_ptr *failure)
{
    try {
        co_await task;
    } catch (...) {
        *failure = std::current_exception();
    }
    co_return true;
}

} // namespace detail

// Runs a task to its end on a nested event loop and hands back its value or rethrows.
template<typename T>
T await(QCoro::Task<T> task)
{
    std::exception_ptr failure;
    [[maybe_unused]] auto outcome = QCoro::waitFor(detail::capture(std::move(task), &failure));
    if (failure)
        std::rethrow_exception(failure);
    if constexpr (!std::is_void_v<T>)
        return std::move(*outcome);
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
