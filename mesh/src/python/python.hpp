// The interpreter's stable C interface, and an owned-reference handle over it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>
#include <utility>

namespace orvel::python {

// One owned reference, released when the handle goes away. Only for objects whose release
// runs no Python code (this module's own results, texts and containers of them), and never
// kept across a call that may run Python code: Python code may end the thread at interpreter
// exit by unwinding it (see enter()), and a release then would touch the interpreter from a
// thread that may no longer use it, or run Python code inside a destructor.
class Ref {
public:
    Ref() = default;
    explicit Ref(PyObject* owned) : object_(owned) {}
    Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    Ref& operator=(Ref&& other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { Py_XDECREF(object_); }

    PyObject* get() const { return object_; }
    PyObject* release() { return std::exchange(object_, nullptr); }
    explicit operator bool() const { return object_ != nullptr; }

private:
    PyObject* object_ = nullptr;
};

// A new `str` holding UTF-8 text.
inline PyObject* new_str(std::string_view text) {
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

}  // namespace orvel::python
