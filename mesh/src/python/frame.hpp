// The calling frame: binds Python arguments to parameters, converts them, checks
// `self`, and turns results, MeshErrors and internal faults into Python objects.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "error.hpp"
#include "pending_change.hpp"
#include "python/python.hpp"
#include "shared_text.hpp"

namespace orvel::python {

enum class Kind : std::uint8_t { Text, OptionalText, U32, U64 };

struct Param {
    // A string literal: keyword names are compared with it as a NUL-terminated text.
    std::string_view name;
    Kind kind = Kind::Text;
    // How the default reads in the text signature; empty for a required parameter.
    std::string_view default_text = {};
};

inline constexpr std::size_t max_params = 4;

// A method's parameters; the first `required` have no default.
struct Signature {
    std::array<Param, max_params> params{};
    std::size_t count = 0;
    std::size_t required = 0;

    std::span<const Param> list() const { return {params.data(), count}; }
};

// A converted argument; texts view the interpreter's cached UTF-8 of the argument.
struct Arg {
    bool present = false;
    std::string_view text;
    std::uint64_t number = 0;

    std::optional<std::string_view> optional_text() const {
        return present ? std::optional<std::string_view>(text) : std::nullopt;
    }
};
using Args = std::array<Arg, max_params>;

// Arguments as the interpreter passed them: positional values, then keyword values
// whose names are in `keyword_names` (a tuple, or null for none).
struct CallArgs {
    PyObject* const* positional;
    Py_ssize_t positional_count;
    PyObject* keyword_names;
    PyObject* const* keyword_values;
};

// Binds and converts; on failure a Python exception is set and nothing is returned.
// `function` is the name errors speak of, like "OrvelMesh.get_agent()".
std::optional<Args> bind_arguments(const Signature& signature, std::string_view function, const CallArgs& call);

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

PyObject* raise_mesh_error(const MeshError& error);

// Result conversions.
PyObject* new_str(std::string_view text);
PyObject* to_python(const std::string& text);
PyObject* to_python(const SharedText& text);
PyObject* to_python(bool value);
PyObject* to_python(std::uint64_t value);
PyObject* to_python(const std::vector<std::string>& texts);
template <class T>
PyObject* to_python(const std::optional<T>& value) {
    if (!value) Py_RETURN_NONE;
    return to_python(*value);
}
template <class T>
PyObject* to_python(const Result<T>& result) {
    if (!result) return raise_mesh_error(result.error());
    return to_python(result.value());
}
PyObject* to_python(const Result<void>& result);
// The change is made only once its result is a Python object: if that cannot be made, the
// component is left as it was.
PyObject* to_python(Result<PendingChange>&& result);

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
