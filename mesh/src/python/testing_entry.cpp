// Entry point of `orvel_mesh_testing`: the same class built with fault points armed
// from Python, for tests only. It is never installed with the package.
#include "clock.hpp"
#include "fault.hpp"
#include "python/frame.hpp"
#include "python/module.hpp"
#include "python/testing_table.hpp"

namespace {

using orvel::python::enter;

// inject_fault(site): the next time the operation reaches `site` it fails as an
// internal fault.
PyObject* inject_fault(PyObject*, PyObject* site) {
    return enter([&]() -> PyObject* {
        Py_ssize_t size = 0;
        const char* utf8 = PyUnicode_AsUTF8AndSize(site, &size);
        if (!utf8) return nullptr;
        orvel::fault::arm(std::string_view(utf8, static_cast<std::size_t>(size)));
        Py_RETURN_NONE;
    });
}

// shift_clock(seconds): every later clock reading is moved by `seconds`.
PyObject* shift_clock_entry(PyObject*, PyObject* seconds) {
    return enter([&]() -> PyObject* {
        const long long offset = PyLong_AsLongLong(seconds);
        if (offset == -1 && PyErr_Occurred()) return nullptr;
        orvel::shift_clock(offset);
        Py_RETURN_NONE;
    });
}

// pin_clock(seconds, nanoseconds=0): every later clock reading gives this instant (and
// then the shift); pin_clock(None) lets the clock run again.
PyObject* pin_clock_entry(PyObject*, PyObject* args) {
    return enter([&]() -> PyObject* {
        PyObject* seconds = nullptr;
        long long nanoseconds = 0;
        if (!PyArg_ParseTuple(args, "O|L:pin_clock", &seconds, &nanoseconds)) return nullptr;
        if (seconds == Py_None) {
            orvel::pin_clock(std::nullopt);
            Py_RETURN_NONE;
        }
        const long long whole = PyLong_AsLongLong(seconds);
        if (whole == -1 && PyErr_Occurred()) return nullptr;
        if (nanoseconds < 0 || nanoseconds > 999'999'999) {
            PyErr_SetString(PyExc_ValueError, "nanoseconds must be from 0 to 999999999");
            return nullptr;
        }
        orvel::pin_clock(orvel::Timestamp{whole, static_cast<std::uint32_t>(nanoseconds)});
        Py_RETURN_NONE;
    });
}

PyMethodDef seam_functions[] = {
    {"inject_fault", inject_fault, METH_O, "Arm a one-shot internal fault at a named site."},
    {"shift_clock", shift_clock_entry, METH_O, "Shift every later clock reading by a number of seconds."},
    {"pin_clock", pin_clock_entry, METH_VARARGS, "Pin every later clock reading to an instant, or release it (None)."},
    {"method_table", orvel::python::method_table, METH_NOARGS, "The class's table as data, for tools/gen_stub.py."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef testing_module = {
    PyModuleDef_HEAD_INIT, "orvel_mesh_testing", "orvel_mesh with fault injection, for tests.", 0, seam_functions,
    nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit_orvel_mesh_testing() { return orvel::python::initialise_module(&testing_module); }
