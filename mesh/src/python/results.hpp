// Result conversions: what an operation returns becomes a Python object, chosen by its
// type; a MeshError becomes the exception of its variant. python_type() names the Python
// type each result becomes, as the stub writes it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "error.hpp"
#include "pending_change.hpp"
#include "python/python.hpp"
#include "shared_text.hpp"

namespace orvel::python {

PyObject* raise_mesh_error(const MeshError& error);

PyObject* to_python(const std::string& text);
PyObject* to_python(const SharedText& text);
PyObject* to_python(bool value);
PyObject* to_python(std::uint64_t value);
PyObject* to_python(const std::vector<std::string>& texts);
PyObject* to_python(const Result<void>& result);
// The change is made only once its result is a Python object: if that cannot be made, the
// component is left as it was.
PyObject* to_python(Result<PendingChange>&& result);
// An operation that makes its Python object itself (the constructor) hands it on.
inline PyObject* to_python(PyObject* made) { return made; }
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

template <class T>
using Type = std::type_identity<T>;

inline std::string python_type(Type<std::string>) { return "str"; }
inline std::string python_type(Type<SharedText>) { return "str"; }
inline std::string python_type(Type<PendingChange>) { return "str"; }
inline std::string python_type(Type<bool>) { return "bool"; }
inline std::string python_type(Type<std::uint64_t>) { return "int"; }
inline std::string python_type(Type<std::vector<std::string>>) { return "list[str]"; }
inline std::string python_type(Type<void>) { return "None"; }
template <class T>
std::string python_type(Type<std::optional<T>>) {
    return python_type(Type<T>{}) + " | None";
}
template <class T>
std::string python_type(Type<Result<T>>) {
    return python_type(Type<T>{});
}

}  // namespace orvel::python
