// The calling frame: binds Python arguments to parameters, reports argument errors, and
// keeps C++ exceptions from crossing into the interpreter.
#pragma once

#include <array>
#include <cstddef>
#include <exception>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include "python/python.hpp"

namespace orvel::python {

inline constexpr std::size_t max_params = 4;

// What binding needs of an operation's parameters; the first `required` have no default.
// The names are string literals: the interpreter takes the method's name, and keyword names
// are compared with the parameters', as NUL-terminated texts.
struct Signature {
    // Errors speak of the method as "OrvelMesh." + name + "()".
    std::string_view name;
    std::array<std::string_view, max_params> params{};
    std::size_t count = 0;
    std::size_t required = 0;
};

// Arguments as the interpreter passed them: positional values, then keyword values
// whose names are in `keyword_names` (a tuple, or null for none).
struct CallArgs {
    PyObject* const* positional;
    Py_ssize_t positional_count;
    PyObject* keyword_names;
    PyObject* const* keyword_values;
};

// The values bound to a call's parameters, in order.
struct Bound {
    PyObject* const* values;
    std::size_t given;

    // Null for a parameter left to its default.
    PyObject* operator[](std::size_t index) const { return index < given ? values[index] : nullptr; }
};

// Binds by name as well as position, into `scratch`; on failure a Python exception is set
// and nothing is returned.
std::optional<Bound> bind_by_name(const Signature& signature, const CallArgs& call,
                                  std::array<PyObject*, max_params>& scratch);

// Binds by position and name, as bind_by_name. Nearly every call gives its arguments by
// position alone, all the required ones among them: nothing can then be missing, repeated
// or unexpected, and they are converted where they lie, in the call's own array.
inline std::optional<Bound> bind_arguments(const Signature& signature, const CallArgs& call,
                                           std::array<PyObject*, max_params>& scratch) {
    if (!call.keyword_names && call.positional_count >= static_cast<Py_ssize_t>(signature.required) &&
        call.positional_count <= static_cast<Py_ssize_t>(signature.count)) {
        return Bound{call.positional, static_cast<std::size_t>(call.positional_count)};
    }
    return bind_by_name(signature, call, scratch);
}

// A conversion failure that is exactly TypeError is re-raised naming the parameter.
void name_argument_in_type_error(std::string_view parameter);

// The tuple-and-dictionary form of a call, laid out for bind_arguments.
class TupleCall {
public:
    TupleCall(PyObject* args, PyObject* kwargs);
    const CallArgs& args() const { return call_; }
    bool ok() const { return ok_; }

private:
    std::vector<PyObject*> values_;
    Ref names_;
    CallArgs call_{};
    bool ok_ = true;
};

// "'{type qualname}' object cannot be converted to '{target}'" as TypeError.
void raise_conversion_error(PyObject* value, std::string_view target);

// Reports an internal fault as PanicException (derived from BaseException).
void raise_panic(const char* message);

// Runs one entry from the interpreter. C++ exceptions never cross into the interpreter:
// running out of memory becomes MemoryError and faults become PanicException.
//
// One unwinding must pass: at exit the interpreter ends a daemon thread that wants the
// interpreter lock back (inside Python code that an argument conversion ran) by unwinding
// its stack. That thread may no longer touch the interpreter, so nothing may catch the
// unwinding for good, no frame on its way may be noexcept (which would end the process),
// and no Ref may be alive on it (see Ref). Hence no catch-all here, which would take it:
// everything this module throws derives from std::exception, which the unwinding does not.
template <class Body>
PyObject* enter(Body&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (const std::exception& fault) {
        raise_panic(fault.what());
    }
    return nullptr;
}

}  // namespace orvel::python
