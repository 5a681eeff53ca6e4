#pragma once

#include <QCoro/QCoroTask>

#include <exception>
#include <functional>

namespace marrowick::test {

// Runs a task to its end on a nested event loop and hands back its value or rethrows.
template<typename T>
T await(QCoro::Task<T> task)
{
    return QCoro::waitFor(std::move(task));
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
