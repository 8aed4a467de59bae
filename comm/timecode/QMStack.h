#pragma once
// A stack kept in a list whose first element is the top.

#include <QList>
#include <optional>
#include <utility>

namespace QMStack {

template <class T>
void push(QList<T>& list, T value)
{
    list.prepend(std::move(value));
}

// The top element, removed; nullopt when the list is empty.
template <class T>
std::optional<T> pop(QList<T>& list)
{
    if (list.isEmpty())
        return std::nullopt;
    return list.takeFirst();
}

// The top element, left in place; nullopt when the list is empty.
template <class T>
std::optional<T> peek(const QList<T>& list)
{
    if (list.isEmpty())
        return std::nullopt;
    return list.first();
}

} // namespace QMStack
