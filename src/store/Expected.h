#pragma once
// A value or a typed error. Errors carry the message shown to the user.
#include <utility>
#include <variant>

template <class E>
struct Unexpected
{
    E error;
};
template <class E>
Unexpected<std::decay_t<E>> unexpected(E&& e)
{
    return {std::forward<E>(e)};
}

template <class T, class E>
class [[nodiscard]] Expected
{
public:
    Expected(const T& v) : m_v(std::in_place_index<0>, v) {}
    Expected(T&& v) : m_v(std::in_place_index<0>, std::move(v)) {}
    template <class G>
    Expected(Unexpected<G> u) : m_v(std::in_place_index<1>, std::move(u.error))
    {
    }

    bool hasValue() const { return m_v.index() == 0; }
    explicit operator bool() const { return hasValue(); }
    T& value() & { return std::get<0>(m_v); }
    const T& value() const& { return std::get<0>(m_v); }
    T&& value() && { return std::get<0>(std::move(m_v)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    const E& error() const { return std::get<1>(m_v); }

private:
    std::variant<T, E> m_v;
};

template <class E>
class [[nodiscard]] Expected<void, E>
{
public:
    Expected() = default;
    template <class G>
    Expected(Unexpected<G> u) : m_error(std::move(u.error)), m_failed(true)
    {
    }
    bool hasValue() const { return !m_failed; }
    explicit operator bool() const { return hasValue(); }
    const E& error() const { return m_error; }

private:
    E m_error{};
    bool m_failed = false;
};
