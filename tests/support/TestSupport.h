#pragma once

#include <QCoro/QCoroTask>

#include <QByteArray>
#include <QEventLoop>
#include <QString>

#include <exception>
#include <optional>
#include <functional>

namespace marrowick::test {

namespace detail {
template<typename T>
QCoro::Task<void> settle(QCoro::Task<T> task, std::optional<T> &value, std::exception_ptr &error, bool &done,
                         QEventLoop &loop)
{
    try {
        value.emplace(co_await std::move(task));
    } catch (...) {
        error = std::current_exception();
    }
    done = true;
    loop.quit();
}

inline QCoro::Task<void> settle(QCoro::Task<void> task, std::exception_ptr &error, bool &done, QEventLoop &loop)
{
    try {
        co_await std::move(task);
    } catch (...) {
        error = std::current_exception();
    }
    done = true;
    loop.quit();
}
} // namespace detail

// Runs a task to its end on a nested event loop and hands back its value or rethrows what it
// threw (QCoro::waitFor would hang on an exception).
template<typename T>
T await(QCoro::Task<T> task)
{
    QEventLoop loop;
    std::exception_ptr error;
    bool done = false;
    if constexpr (std::is_void_v<T>) {
        auto settling = detail::settle(std::move(task), error, done, loop);
        if (!done)
            loop.exec();
        if (error)
            std::rethrow_exception(error);
    } else {
        std::optional<T> value;
        auto settling = detail::settle(std::move(task), value, error, done, loop);
        if (!done)
            loop.exec();
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

// A file's bytes; empty when it cannot be read.
QByteArray fileBytes(const QString &path);
// Writes (or replaces) a file; false when it cannot be written.
bool writeFile(const QString &path, const QByteArray &bytes);

} // namespace marrowick::test
