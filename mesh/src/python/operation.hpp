// A row of the class's table names a component operation. The operation's parameter types
// choose the argument kinds and its return type the result conversion; the row adds the
// parameters' names, the typed defaults of those that may be left out, and the doc text.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "python/arguments.hpp"
#include "python/frame.hpp"
#include "python/results.hpp"

namespace orvel::python {

// An operation's parameters as Python sees them.
template <class... P>
struct Parameters {
    static_assert(sizeof...(P) <= max_params);
    using Held = std::tuple<python::Held<P>...>;
    using Arguments = std::tuple<P...>;

    Signature signature;
    // Only those of the parameters after the required ones count.
    Held defaults;

    // Binds a call's arguments and converts them; parameters left out take their defaults.
    // False with a Python exception set on failure.
    bool convert(const CallArgs& call, Held& held) const {
        if constexpr (sizeof...(P) == 0) {
            return true;
        } else {
            std::array<PyObject*, max_params> scratch;
            const std::optional<Bound> bound = bind_arguments(signature, call, scratch);
            return bound && [&]<std::size_t... I>(std::index_sequence<I...>) {
                return (convert_one<P, I>((*bound)[I], held) && ...);
            }(std::index_sequence_for<P...>{});
        }
    }

    // The operation's own values; false with a Python exception set when one is refused.
    static bool prepare(const Held& held, Arguments& arguments) {
        return [&]<std::size_t... I>(std::index_sequence<I...>) {
            return (python::prepare<P>(std::get<I>(held), std::get<I>(arguments)) && ...);
        }(std::index_sequence_for<P...>{});
    }

    // Calls visit(name, Argument<P>{}, default) for each parameter in order; the default
    // as a Python literal, or nothing for a required parameter.
    template <class Visit>
    void describe(Visit visit) const {
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            (visit(signature.params[I], Argument<P>{},
                   I < signature.required ? std::nullopt : std::optional(shown_default(std::get<I>(defaults)))),
             ...);
        }(std::index_sequence_for<P...>{});
    }

private:
    template <class T, std::size_t I>
    bool convert_one(PyObject* value, Held& held) const {
        if (!value) {
            std::get<I>(held) = std::get<I>(defaults);
            return true;
        }
        if (Argument<T>::convert(value, std::get<I>(held))) return true;
        name_argument_in_type_error(signature.params[I]);
        return false;
    }
};

// What an operation is called on (its receiver), with and for.
template <class F>
struct OperationType;
template <class C, class R, class... P>
struct OperationType<R (C::*)(P...)> {
    using Receiver = C;
    using Result = R;
    using Parameters = python::Parameters<std::remove_cvref_t<P>...>;
};
template <class C, class R, class... P>
struct OperationType<R (C::*)(P...) const> : OperationType<R (C::*)(P...)> {};
// A free function is called on its first parameter.
template <class C, class R, class... P>
struct OperationType<R (*)(C&, P...)> : OperationType<R (C::*)(P...)> {};

template <auto Operation>
struct Row {
    using Type = OperationType<decltype(Operation)>;

    typename Type::Parameters parameters;
    const char* doc;

    const char* name() const { return parameters.signature.name.data(); }
};

// A parameter that may be left out, and the value it then takes.
template <class V>
struct Defaulted {
    const char* name;
    V value;
};
template <class V>
constexpr Defaulted<V> defaulted(const char* name, V value) {
    return {name, value};
}
inline constexpr std::nullopt_t none = std::nullopt;

// The parameters of a row: a name for each required one, then defaulted() for the others.
template <class... Given>
constexpr std::tuple<Given...> params(Given... given) {
    return {given...};
}

namespace row_detail {

template <class H, class V>
constexpr H typed_default(V value) {
    if constexpr (std::is_integral_v<H>) {
        if (!std::in_range<H>(value)) throw "a default outside its parameter's range";
        return static_cast<H>(value);
    } else {
        return H(value);
    }
}

template <class H>
constexpr void add_parameter(Signature& signature, std::size_t index, const char* name, H&) {
    if (signature.required != index) throw "a required parameter after one that may be left out";
    signature.params[index] = name;
    ++signature.required;
}

template <class H, class V>
constexpr void add_parameter(Signature& signature, std::size_t index, Defaulted<V> given, H& default_value) {
    signature.params[index] = given.name;
    default_value = typed_default<H>(given.value);
}

}  // namespace row_detail

// One row: the operation, its Python name, its parameters as params() gives them, its doc.
template <auto Operation, class... Given>
constexpr Row<Operation> row(const char* name, std::tuple<Given...> given, const char* doc) {
    using Parameters = typename Row<Operation>::Type::Parameters;
    static_assert(std::tuple_size_v<typename Parameters::Held> == sizeof...(Given),
                  "a row names every parameter of its operation");
    Parameters parameters{{name, {}, sizeof...(Given), 0}, {}};
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        (row_detail::add_parameter(parameters.signature, I, std::get<I>(given), std::get<I>(parameters.defaults)),
         ...);
    }(std::index_sequence_for<Given...>{});
    return {parameters, doc};
}

// One call of a row's operation, in the frame's order: bind and convert the arguments,
// find the receiver (`find_receiver()`: the component of a checked `self`, or null with a
// Python exception set), prepare the arguments, run the operation and convert its result.
template <auto Operation, class FindReceiver>
PyObject* call(const Row<Operation>& row, const CallArgs& given, FindReceiver find_receiver) {
    using Parameters = typename Row<Operation>::Type::Parameters;
    typename Parameters::Held held;
    if (!row.parameters.convert(given, held)) return nullptr;
    auto* receiver = find_receiver();
    if (!receiver) return nullptr;
    typename Parameters::Arguments arguments;
    if (!Parameters::prepare(held, arguments)) return nullptr;
    return to_python(std::apply(
        [&](auto&... values) -> decltype(auto) { return std::invoke(Operation, *receiver, values...); }, arguments));
}

// "name($self, agent_type, instance=0)", with `$self` for a method; then "--", an empty
// line and the doc, so that Python shows the signature as `__text_signature__`.
template <auto Operation>
std::string doc_with_signature(std::string_view name, const Row<Operation>& row, bool with_self) {
    std::string text = std::string(name) + '(';
    if (with_self) text += "$self";
    row.parameters.describe([&](std::string_view parameter, auto, const std::optional<std::string>& shown) {
        if (text.back() != '(') text += ", ";
        text += parameter;
        if (shown) text += '=' + *shown;
    });
    return text + ")\n--\n\n" + row.doc;
}

}  // namespace orvel::python
