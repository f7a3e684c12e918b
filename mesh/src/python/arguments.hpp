// Argument kinds: how a Python value becomes a parameter of a component operation. The
// parameter's type chooses the kind, so an operation taking any other type does not compile.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "agent.hpp"
#include "hash.hpp"
#include "python/python.hpp"

namespace orvel::python {

// Each kind converts a Python value into its `Held` form while the call's arguments are
// converted; `prepare` then makes the operation's own value from it once `self` has been
// checked, the last step before the operation runs. `annotation` is its type in the stub.
template <class T>
struct Argument;

bool convert_text(PyObject* value, std::string_view& text);
bool convert_key(PyObject* value, HashedText& key);
bool convert_unsigned(PyObject* value, std::uint64_t maximum, std::uint64_t& number);

// A `str`.
template <>
struct Argument<std::string_view> {
    using Held = std::string_view;
    static constexpr std::string_view annotation = "str";
    static bool convert(PyObject* value, Held& text) { return convert_text(value, text); }
};

// A `str` naming an entry of a table: its text and its hash (key_hash()).
template <>
struct Argument<HashedText> {
    using Held = HashedText;
    static constexpr std::string_view annotation = "str";
    static bool convert(PyObject* value, Held& key) { return convert_key(value, key); }
};

// None, or as a text.
template <>
struct Argument<std::optional<std::string_view>> {
    using Held = std::optional<std::string_view>;
    static constexpr std::string_view annotation = "str | None";
    static bool convert(PyObject* value, Held& text) {
        if (value == Py_None) {
            text.reset();
            return true;
        }
        return convert_text(value, text.emplace());
    }
};

// An `int`, or any object with `__index__`, in the type's range.
template <class Unsigned>
struct UnsignedArgument {
    using Held = Unsigned;
    static constexpr std::string_view annotation = "SupportsIndex";
    static bool convert(PyObject* value, Held& number) {
        std::uint64_t converted = 0;
        if (!convert_unsigned(value, std::numeric_limits<Unsigned>::max(), converted)) return false;
        number = static_cast<Unsigned>(converted);
        return true;
    }
};
template <>
struct Argument<std::uint32_t> : UnsignedArgument<std::uint32_t> {};
template <>
struct Argument<std::uint64_t> : UnsignedArgument<std::uint64_t> {};

// A `str` naming a status. A text that names none is refused with ValueError "Unknown
// status ..." when the arguments are prepared, after every argument has been converted.
template <>
struct Argument<AgentStatus> {
    using Held = std::string_view;
    static constexpr std::string_view annotation = "str";
    static bool convert(PyObject* value, Held& text) { return convert_text(value, text); }
    static bool prepare(Held text, AgentStatus& status);
};

template <class T>
using Held = typename Argument<T>::Held;

template <class T>
bool prepare(const Held<T>& held, T& value) {
    if constexpr (requires { Argument<T>::prepare(held, value); }) {
        return Argument<T>::prepare(held, value);
    } else {
        value = held;
        return true;
    }
}

// How a default reads in a signature, as a Python literal.
std::string shown_default(std::string_view text);
std::string shown_default(const HashedText& key);
std::string shown_default(const std::optional<std::string_view>& text);
std::string shown_default(std::uint64_t number);

}  // namespace orvel::python
