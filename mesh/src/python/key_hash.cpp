#include "python/key_hash.hpp"

#include "hash.hpp"

namespace orvel::python {
namespace {

// The hash slot of `str` itself: a subclass's own __hash__ is Python code whose answer
// could differ between equal texts, so it is passed by.
hashfunc interpreter_str_hash = nullptr;

// sys.<group>.<field>, or null with an exception set.
PyObject* sys_field(const char* group, const char* field) {
    PyObject* found = PySys_GetObject(group);  // borrowed
    if (!found) {
        PyErr_Format(PyExc_RuntimeError, "sys.%s is missing", group);
        return nullptr;
    }
    return PyObject_GetAttrString(found, field);
}

// Whether the interpreter's str hash is a SipHash of 64 bits under a random key.
bool interpreter_hash_is_keyed(bool& keyed) {
    Ref randomized(sys_field("flags", "hash_randomization"));
    Ref algorithm(randomized ? sys_field("hash_info", "algorithm") : nullptr);
    Ref width(algorithm ? sys_field("hash_info", "width") : nullptr);
    if (!width) return false;
    const int random = PyObject_IsTrue(randomized.get());
    const long bits = PyLong_AsLong(width.get());
    if (random < 0 || (bits == -1 && PyErr_Occurred())) return false;
    keyed = random == 1 && bits == 64 &&
            (PyUnicode_CompareWithASCIIString(algorithm.get(), "siphash13") == 0 ||
             PyUnicode_CompareWithASCIIString(algorithm.get(), "siphash24") == 0);
    return true;
}

}  // namespace

bool choose_key_hash() {
    bool keyed = false;
    if (!interpreter_hash_is_keyed(keyed)) return false;
    interpreter_str_hash =
        keyed ? reinterpret_cast<hashfunc>(PyType_GetSlot(&PyUnicode_Type, Py_tp_hash)) : nullptr;
    return true;
}

bool key_hash(PyObject* object, std::string_view text, std::uint64_t& hash) {
    if (!interpreter_str_hash) {
        hash = keyed_hash(text);
        return true;
    }
    const Py_hash_t made = interpreter_str_hash(object);
    if (made == -1) return false;
    hash = keyed_mix(static_cast<std::uint64_t>(made));
    return true;
}

}  // namespace orvel::python
