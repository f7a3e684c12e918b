#include "python/module.hpp"

#include <atomic>
#include <cstdint>
#include <string_view>

#include "python/frame.hpp"
#include "python/key_hash.hpp"
#include "python/mesh_type.hpp"

namespace orvel::python {
namespace {

constexpr const char* version = ORVEL_MESH_VERSION;  // from pyproject.toml, by CMake

std::atomic<std::int64_t> first_interpreter{-1};
PyObject* cached_module = nullptr;

// Lists `name` in the module's `__all__` (created on the first add), then sets it.
bool add_attribute(PyObject* module, std::string_view name, PyObject* value) {
    Ref all_name(new_str("__all__"));
    Ref attribute_name(new_str(name));
    if (!all_name || !attribute_name) return false;
    Ref all(PyObject_GetAttr(module, all_name.get()));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all = Ref(PyList_New(0));
        if (!all || PyObject_SetAttr(module, all_name.get(), all.get()) < 0) return false;
    }
    if (PyList_Append(all.get(), attribute_name.get()) < 0) return false;
    return PyObject_SetAttr(module, attribute_name.get(), value) == 0;
}

bool run_module_body(PyObject* module) {
    if (!choose_key_hash()) return false;
    PyTypeObject* type = mesh_type();
    if (!type) return false;
    if (!add_attribute(module, "OrvelMesh", reinterpret_cast<PyObject*>(type))) return false;
    Ref version_text(new_str(version));
    return version_text && add_attribute(module, "__version__", version_text.get());
}

// Module state lives in process-wide statics, so only one interpreter may own it.
bool claim_interpreter() {
    const std::int64_t current = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (current < 0) return false;
    std::int64_t expected = -1;
    if (first_interpreter.compare_exchange_strong(expected, current) || expected == current) return true;
    PyErr_SetString(PyExc_ImportError,
                    "orvel_mesh does not support sub-interpreters: it is already initialised in another "
                    "interpreter of this process");
    return false;
}

}  // namespace

PyObject* initialise_module(PyModuleDef* definition) {
    return enter([&]() -> PyObject* {
        if (!claim_interpreter()) return nullptr;
        if (cached_module) {
            Py_INCREF(cached_module);
            return cached_module;
        }
        Ref module(PyModule_Create2(definition, PYTHON_ABI_VERSION));
        if (!module || !run_module_body(module.get())) return nullptr;
        cached_module = module.get();
        Py_INCREF(cached_module);
        return module.release();
    });
}

}  // namespace orvel::python
