// Entry point of the shipped module.
#include "python/module.hpp"

namespace {

PyModuleDef orvel_mesh_module = {
    PyModuleDef_HEAD_INIT, "orvel_mesh", "Python module `orvel_mesh`.", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit_orvel_mesh() { return orvel::python::initialise_module(&orvel_mesh_module); }
