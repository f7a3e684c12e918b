// Module initialisation shared by the shipped module and the fault-injection test module.
#pragma once

#include "python/python.hpp"

namespace orvel::python {

// Builds the module from `definition` once per process and returns a new reference to
// it on every later call; refuses a second interpreter with ImportError.
PyObject* initialise_module(PyModuleDef* definition);

}  // namespace orvel::python
