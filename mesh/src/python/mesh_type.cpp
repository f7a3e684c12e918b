#include "python/mesh_type.hpp"

#include <new>
#include <string>
#include <utility>

#include "mesh.hpp"
#include "python/frame.hpp"
#include "python/methods.hpp"

namespace orvel::python {
namespace {

struct MeshObject {
    PyObject_HEAD
    alignas(Mesh) unsigned char storage[sizeof(Mesh)];
};

Mesh& mesh_of(PyObject* self) {
    return *std::launder(reinterpret_cast<Mesh*>(reinterpret_cast<MeshObject*>(self)->storage));
}

// The mesh of `self`, or null with TypeError when `self` is no OrvelMesh.
Mesh* checked_mesh(PyObject* self) {
    PyTypeObject* type = mesh_type();
    if (!type) {
        PyErr_Print();
        throw InternalFault("the OrvelMesh class could not be created");
    }
    if (!PyObject_TypeCheck(self, type)) {
        raise_conversion_error(self, "OrvelMesh");
        return nullptr;
    }
    return &mesh_of(self);
}

template <std::size_t I>
PyObject* method_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return enter([&]() -> PyObject* {
        static const std::string function = std::string("OrvelMesh.") + methods[I].name + "()";
        const auto bound = bind_arguments(methods[I].signature, function,
                                          CallArgs{args, nargs, kwnames, args + nargs});
        if (!bound) return nullptr;
        Mesh* mesh = checked_mesh(self);
        if (!mesh) return nullptr;
        return methods[I].handler(*mesh, *bound);
    });
}

template <std::size_t I>
PyObject* no_argument_entry(PyObject* self, PyObject*) noexcept {
    return enter([&]() -> PyObject* {
        Mesh* mesh = checked_mesh(self);
        if (!mesh) return nullptr;
        return methods[I].handler(*mesh, Args{});
    });
}

template <std::size_t I>
PyMethodDef method_def() {
    static const std::string doc = doc_with_signature(methods[I].name, methods[I].signature, methods[I].doc_body, true);
    if (methods[I].takes_arguments) {
        return {methods[I].name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&method_entry<I>)),
                METH_FASTCALL | METH_KEYWORDS, doc.c_str()};
    }
    return {methods[I].name, &no_argument_entry<I>, METH_NOARGS, doc.c_str()};
}

template <std::size_t... I>
PyMethodDef* method_defs(std::index_sequence<I...>) {
    static PyMethodDef defs[] = {method_def<I>()..., {nullptr, nullptr, 0, nullptr}};
    return defs;
}

PyObject* mesh_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return enter([&]() -> PyObject* {
        TupleCall call(args, kwargs);
        if (!call.ok()) return nullptr;
        const auto bound = bind_arguments(constructor_signature, "OrvelMesh.__new__()", call.args());
        if (!bound) return nullptr;
        const std::string_view app_name = (*bound)[0].text;
        Result<Plan> plan = Mesh::plan_for(app_name, (*bound)[1].text);
        if (!plan) return raise_mesh_error(plan.error());

        auto allocate = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
        PyObject* self = allocate(type, 0);
        if (!self) return nullptr;
        try {
            new (reinterpret_cast<MeshObject*>(self)->storage) Mesh(std::move(plan.value()), app_name);
        } catch (...) {
            // The object never held a mesh: free it without running the deallocator.
            reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free))(self);
            Py_DECREF(type);
            throw;
        }
        return self;
    });
}

void mesh_dealloc(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    mesh_of(self).~Mesh();
    reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free))(self);
    Py_DECREF(type);
}

PyObject* mesh_repr(PyObject* self) noexcept {
    return enter([&]() -> PyObject* {
        Mesh* mesh = checked_mesh(self);
        return mesh ? to_python(mesh->repr()) : nullptr;
    });
}

PyObject* get_app_name(PyObject* self, void*) noexcept {
    return enter([&]() -> PyObject* {
        Mesh* mesh = checked_mesh(self);
        return mesh ? to_python(mesh->app_name()) : nullptr;
    });
}

PyGetSetDef attributes[] = {
    {"app_name", get_app_name, nullptr, "Application name.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// The class's name carries no module part, for which the interpreter warns at creation;
// the warning would turn `import orvel_mesh` into an error under `-W error`.
template <class Create>
PyObject* without_deprecation_warnings(Create create) {
    Ref warnings(PyImport_ImportModule("warnings"));
    Ref catcher(warnings ? PyObject_CallMethod(warnings.get(), "catch_warnings", nullptr) : nullptr);
    Ref entered(catcher ? PyObject_CallMethod(catcher.get(), "__enter__", nullptr) : nullptr);
    Ref filtered(entered ? PyObject_CallMethod(warnings.get(), "simplefilter", "sO", "ignore",
                                                PyExc_DeprecationWarning)
                         : nullptr);
    if (!filtered) return nullptr;
    PyObject* created = create();
    Ref failure(PyErr_GetRaisedException());
    Ref exited(PyObject_CallMethod(catcher.get(), "__exit__", "OOO", Py_None, Py_None, Py_None));
    if (failure) {
        PyErr_SetRaisedException(failure.release());
    } else if (!exited) {
        Py_XDECREF(created);
        return nullptr;
    }
    return created;
}

PyTypeObject* create_type() {
    static const std::string doc =
        doc_with_signature("OrvelMesh", constructor_signature, class_doc_body, false);
    PyType_Slot slots[] = {
        {Py_tp_base, &PyBaseObject_Type},
        {Py_tp_doc, const_cast<char*>(doc.c_str())},
        {Py_tp_new, reinterpret_cast<void*>(&mesh_new)},
        {Py_tp_repr, reinterpret_cast<void*>(&mesh_repr)},
        {Py_tp_dealloc, reinterpret_cast<void*>(&mesh_dealloc)},
        {Py_tp_methods, method_defs(std::make_index_sequence<method_count>())},
        {Py_tp_getset, attributes},
        {0, nullptr},
    };
    PyType_Spec spec = {"OrvelMesh", static_cast<int>(sizeof(MeshObject)), 0, Py_TPFLAGS_DEFAULT, slots};
    Ref type(without_deprecation_warnings([&] { return PyType_FromSpec(&spec); }));
    // Without a module, help() cannot document the class.
    Ref module_name(new_str("orvel_mesh"));
    if (!type || !module_name || PyObject_SetAttrString(type.get(), "__module__", module_name.get()) < 0) {
        return nullptr;
    }
    return reinterpret_cast<PyTypeObject*>(type.release());
}

}  // namespace

PyTypeObject* mesh_type() {
    static PyTypeObject* type = nullptr;
    if (!type) type = create_type();
    return type;
}

}  // namespace orvel::python
