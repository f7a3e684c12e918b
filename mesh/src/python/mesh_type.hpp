// The `OrvelMesh` class: the mesh held inline after the object header.
#pragma once

#include <string_view>

#include "python/python.hpp"

namespace orvel::python {

// The class object, created on first need and kept for the life of the process.
// Null with a Python exception set when creation fails.
PyTypeObject* mesh_type();

// The constructor's operation: a new object of `type` holding the mesh for these arguments.
PyObject* new_mesh(PyTypeObject& type, std::string_view app_name, std::string_view plan_json);

}  // namespace orvel::python
