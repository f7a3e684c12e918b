#include "python/results.hpp"

#include <cstdint>
#include <cstring>

namespace orvel::python {

PyObject* raise_mesh_error(const MeshError& error) {
    PyObject* exception_class = PyExc_RuntimeError;
    switch (error.kind()) {
    case ErrorKind::AgentNotFound: exception_class = PyExc_KeyError; break;
    case ErrorKind::Migration:
    case ErrorKind::Serialization: exception_class = PyExc_ValueError; break;
    case ErrorKind::AlreadyRegistered:
    case ErrorKind::State:
    case ErrorKind::Channel: exception_class = PyExc_RuntimeError; break;
    }
    Ref message(new_str(error.message()));
    if (message) PyErr_SetObject(exception_class, message.get());
    return nullptr;
}

PyObject* to_python(const std::string& text) { return new_str(text); }
PyObject* to_python(const SharedText& text) { return new_str(text.view()); }
PyObject* to_python(bool value) { return PyBool_FromLong(value); }
PyObject* to_python(std::uint64_t value) { return PyLong_FromUnsignedLongLong(value); }

namespace {

// The interpreter decodes ASCII a word at a time only from a word-aligned start. A C++ runtime
// may keep a short string inline at an odd address (the release build's does), so such texts
// are copied to an aligned buffer first: far cheaper than decoding them a byte at a time.
PyObject* new_str_aligned(std::string_view text) {
    alignas(std::size_t) char buffer[32];
    if (text.size() > sizeof buffer || reinterpret_cast<std::uintptr_t>(text.data()) % alignof(std::size_t) == 0) {
        return new_str(text);
    }
    std::memcpy(buffer, text.data(), text.size());
    return new_str(std::string_view(buffer, text.size()));
}

}  // namespace

PyObject* to_python(const std::vector<std::string>& texts) {
    Ref list(PyList_New(static_cast<Py_ssize_t>(texts.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        PyObject* item = new_str_aligned(texts[i]);
        if (!item) return nullptr;
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

PyObject* to_python(const Result<void>& result) {
    if (!result) return raise_mesh_error(result.error());
    Py_RETURN_NONE;
}

PyObject* to_python(Result<PendingChange>&& result) {
    if (!result) return raise_mesh_error(result.error());
    Ref text(new_str(result->result()));
    if (text) result->commit();
    return text.release();
}

}  // namespace orvel::python
