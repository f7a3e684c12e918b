#include "python/key_hash.hpp"

namespace orvel::python {

hashfunc interpreter_str_hash = nullptr;

namespace {

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

}  // namespace orvel::python
