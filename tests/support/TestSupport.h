#pragma once

#include <QCoro/QCoroTask>

#include <exception>
#include <functional>
#include <optional>
#include <type_traits>

namespace marrowick::test {

namespace detail {

// QCoro's waitFor never leaves its loop when the task throws, so the exception is caught here
// and rethrown once the loop is done.
template<typename T>
QCoro::Task<std::optional<T>> captured(QCoro::Task<T> task, std::exception_ptr *error)
{
    try {
        T value = co_await std::move(task);
        co_return std::optional<T>(std::move(value));
    } catch (...) {
        *error = std::current_exception();
    }
    co_return std::nullopt;
}

inline QCoro::Task<bool> capturedVoid(QCoro::Task<void> task, std::exception_ptr *error)
{
    try {
        co_await std::move(task);
    } catch (...) {
        *error = std::current_exception();
    }
    co_return true;
}

} // namespace detail

// Runs a task to its end on a nested event loop and hands back its value or rethrows.
template<typename T>
T await(QCoro::Task<T> task)
{
    std::exception_ptr error;
    if constexpr (std::is_void_v<T>) {
        QCoro::waitFor(detail::capturedVoid(std::move(task), &error));
        if (error)
            std::rethrow_exception(error);
    } else {
        auto value = QCoro::waitFor(detail::captured(std::move(task), &error));
        if (error)
            std::rethrow_exception(error);
        return std::move(*value);
    }
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
