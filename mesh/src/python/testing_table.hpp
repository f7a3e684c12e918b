// The class's table as data: only the test module has it.
#pragma once

#include "python/python.hpp"

namespace orvel::python {

// method_table(): a list of (kind, name, [(parameter, annotation, default or None)],
// result annotation, doc), kind being "constructor", "attribute" or "method", in the
// class's order; a default is written as a Python literal.
PyObject* method_table(PyObject* module, PyObject* unused);

}  // namespace orvel::python
