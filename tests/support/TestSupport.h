#pragma once

#include <QCoro/QCoroTask>

#include <exception>
#include <functional>
#include <optional>
#include <type_traits>

namespace marrowick::test {

namespace detail {

// QCoro::waitFor never returns when the task throws; these catch on the task's side.
template<typename T>
QCoro::Task<void> capture(QCoro::Task<T> task, std::optional<T> *value, std::exception_ptr *error)
{
    try {
        T result = co_await task;
        value->emplace(std::move(result));
    } catch (...) {
        *error = std::current_exception();
    }
}

inline QCoro::Task<void> capture(QCoro::Task<void> task, std::exception_ptr *error)
{
    try {
        co_await task;
    } catch (...) {
        *error = std::current_exception();
    }
}

} // namespace detail

// Runs a task to its end on a nested event loop and hands back its value or rethrows.
template<typename T>
T await(QCoro::Task<T> task)
{
    std::exception_ptr error;
    if constexpr (std::is_void_v<T>) {
        QCoro::waitFor(detail::capture(std::move(task), &error));
        if (error)
            std::rethrow_exception(error);
    } else {
        std::optional<T> value;
        QCoro::waitFor(detail::capture(std::move(task), &value, &error));
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
