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
    // Set once the mesh is constructed; the interpreter's allocation zero-fills it, so an
    // object that came to be any other way holds no mesh and says so.
    bool built;
    alignas(Mesh) unsigned char storage[sizeof(Mesh)];
};

MeshObject& object_of(PyObject* self) { return *reinterpret_cast<MeshObject*>(self); }

Mesh& mesh_of(PyObject* self) { return *std::launder(reinterpret_cast<Mesh*>(object_of(self).storage)); }

// The mesh of `self`, or null with TypeError when `self` is no OrvelMesh or holds no mesh.
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
    if (!object_of(self).built) {
        PyErr_SetString(PyExc_TypeError, "this OrvelMesh object was never constructed");
        return nullptr;
    }
    return &mesh_of(self);
}

// The entries below are not noexcept: see enter().
template <std::size_t I>
PyObject* method_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
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
PyObject* no_argument_entry(PyObject* self, PyObject*) {
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

PyObject* mesh_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return enter([&]() -> PyObject* {
        TupleCall call(args, kwargs);
        if (!call.ok()) return nullptr;
        const auto bound = bind_arguments(constructor_signature, "OrvelMesh.__new__()", call.args());
        if (!bound) return nullptr;
        const std::string_view app_name = (*bound)[0].text;
        Result<Plan> plan = Mesh::plan_for(app_name, (*bound)[1].text);
        if (!plan) return raise_mesh_error(plan.error());

        auto allocate = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
        // Released unbuilt should the mesh fail to construct.
        Ref self(allocate(type, 0));
        if (!self) return nullptr;
        new (object_of(self.get()).storage) Mesh(std::move(plan.value()), app_name);
        object_of(self.get()).built = true;
        return self.release();
    });
}

// Runs no Python code, so nothing can unwind it.
void mesh_dealloc(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    if (object_of(self).built) mesh_of(self).~Mesh();
    reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free))(self);
    Py_DECREF(type);
}

PyObject* mesh_repr(PyObject* self) {
    return enter([&]() -> PyObject* {
        Mesh* mesh = checked_mesh(self);
        return mesh ? to_python(mesh->repr()) : nullptr;
    });
}

PyObject* get_app_name(PyObject* self, void*) {
    return enter([&]() -> PyObject* {
        Mesh* mesh = checked_mesh(self);
        return mesh ? to_python(mesh->app_name()) : nullptr;
    });
}

PyGetSetDef attributes[] = {
    {"app_name", get_app_name, nullptr, "Application name.", nullptr},
    // Holds the place of the class's `__module__`: see create_type().
    {"__module__", nullptr, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// The class is immutable: its attributes cannot be set or deleted from Python. Its name
// carries no module part, so the interpreter sets no `__module__`, warns about the lack of
// one (an error under `-W error`) unless the class's dictionary has that entry, and refuses
// to set it afterwards. The placeholder attribute provides the entry; it is then replaced in
// the class's own dictionary (which the generic `__dict__` getter gives for a class) before
// anyone can see the class. help() needs the module to document the class.
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
    PyType_Spec spec = {"OrvelMesh", static_cast<int>(sizeof(MeshObject)), 0,
                        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, slots};
    Ref type(PyType_FromSpec(&spec));
    Ref dictionary(type ? PyObject_GenericGetDict(type.get(), nullptr) : nullptr);
    Ref module_name(new_str("orvel_mesh"));
    if (!dictionary || !module_name || PyDict_SetItemString(dictionary.get(), "__module__", module_name.get()) < 0) {
        return nullptr;
    }
    PyType_Modified(reinterpret_cast<PyTypeObject*>(type.get()));
    return reinterpret_cast<PyTypeObject*>(type.release());
}

}  // namespace

PyTypeObject* mesh_type() {
    static PyTypeObject* type = nullptr;
    if (!type) type = create_type();
    return type;
}

}  // namespace orvel::python
