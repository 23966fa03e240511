#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace zarn {

// The text of a failure as the user would see it, e.g. "Access is denied. (os error 5)".
struct Error {
    std::string text;
    friend bool operator==(const Error&, const Error&) = default;
};

template <class E>
struct Unexpected {
    E error;
};

template <class E>
Unexpected<E> unexpected(E error) {
    return Unexpected<E>{std::move(error)};
}

// A value or an error, in the manner of std::expected (which C++20 lacks).
template <class T, class E = Error>
class Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Unexpected<E> failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}

    bool has_value() const { return state_.index() == 0; }
    explicit operator bool() const { return has_value(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    const E& error() const { return std::get<1>(state_); }

    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

private:
    std::variant<T, E> state_;
};

template <class E>
class Result<void, E> {
public:
    Result() = default;
    Result(Unexpected<E> failure) : error_(std::move(failure.error)) {}

    bool has_value() const { return !error_.has_value(); }
    explicit operator bool() const { return has_value(); }
    const E& error() const { return *error_; }

private:
    std::optional<E> error_;
};

}  // namespace zarn
