// The `OrvelMesh` class: the mesh held inline after the object header.
#pragma once

#include "python/python.hpp"

namespace orvel::python {

// The class object, created on first need and kept for the life of the process.
// Null with a Python exception set when creation fails.
PyTypeObject* mesh_type();

}  // namespace orvel::python
