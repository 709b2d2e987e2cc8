#pragma once
// Runs a coroutine to completion from a test. Unlike QCoro::waitFor it does not need a
// default-constructible result, so it works with Expected<T, E>.
#include <QCoroTask>
#include <optional>
#include <utility>

template <class T>
T awaitTask(QCoro::Task<T>&& task)
{
    std::optional<T> result;
    QCoro::waitFor([](QCoro::Task<T> t, std::optional<T>& out) -> QCoro::Task<> {
        out.emplace(co_await std::move(t));
    }(std::move(task), result));
    return std::move(*result);
}

inline void awaitTask(QCoro::Task<>&& task)
{
    QCoro::waitFor(std::move(task));
}
