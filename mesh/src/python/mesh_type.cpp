#include "python/mesh_type.hpp"

#include <new>
#include <string>
#include <tuple>
#include <type_traits>
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

// The class once created; see mesh_type().
PyTypeObject* created_type = nullptr;

// The mesh of `self`, or null with TypeError when `self` is no OrvelMesh or holds no mesh.
Mesh* checked_mesh_slowly(PyObject* self) {
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

// Nearly every call: `self` is an OrvelMesh its constructor built, checked inline.
inline Mesh* checked_mesh(PyObject* self) {
    if (created_type && Py_IS_TYPE(self, created_type) && object_of(self).built) return &mesh_of(self);
    return checked_mesh_slowly(self);
}

// The component an operation of the table runs on, as the mesh holds it.
template <class Component>
Component& component(Mesh& mesh) {
    if constexpr (std::is_same_v<Component, AgentRegistry>) {
        return mesh.registry();
    } else if constexpr (std::is_same_v<Component, StateStore>) {
        return mesh.state();
    } else if constexpr (std::is_same_v<Component, MigrationEngine>) {
        return mesh.migrations();
    } else if constexpr (std::is_same_v<Component, ChannelHub>) {
        return mesh.channels();
    } else {
        static_assert(std::is_same_v<Component, Mesh>, "an operation of a component the mesh holds");
        return mesh;
    }
}

// Runs a row's operation on the component of `self`.
template <auto Operation>
PyObject* call_on(PyObject* self, const Row<Operation>& row, const CallArgs& given) {
    using Component = typename Row<Operation>::Type::Receiver;
    return call(row, given, [&]() -> Component* {
        Mesh* mesh = checked_mesh(self);
        return mesh ? &component<Component>(*mesh) : nullptr;
    });
}

// The entries below are not noexcept: see enter().
template <std::size_t I>
PyObject* method_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return enter([&] { return call_on(self, std::get<I>(methods), CallArgs{args, nargs, kwnames, args + nargs}); });
}

template <std::size_t I>
PyObject* no_argument_entry(PyObject* self, PyObject*) {
    return enter([&] { return call_on(self, std::get<I>(methods), CallArgs{}); });
}

template <std::size_t I>
PyMethodDef method_def() {
    const auto& method = std::get<I>(methods);
    static const std::string doc = doc_with_signature(method.name(), method, true);
    if (method.parameters.signature.count > 0) {
        return {method.name(), reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&method_entry<I>)),
                METH_FASTCALL | METH_KEYWORDS, doc.c_str()};
    }
    return {method.name(), &no_argument_entry<I>, METH_NOARGS, doc.c_str()};
}

template <std::size_t... I>
PyMethodDef* method_defs(std::index_sequence<I...>) {
    static PyMethodDef defs[] = {method_def<I>()..., {nullptr, nullptr, 0, nullptr}};
    return defs;
}

template <std::size_t I>
PyObject* attribute_entry(PyObject* self, void*) {
    return enter([&] { return call_on(self, std::get<I>(attributes), CallArgs{}); });
}

// Read-only: no setter.
template <std::size_t... I>
PyGetSetDef* attribute_defs(std::index_sequence<I...>) {
    static PyGetSetDef defs[] = {
        {std::get<I>(attributes).name(), &attribute_entry<I>, nullptr, std::get<I>(attributes).doc, nullptr}...,
        // Holds the place of the class's `__module__`: see create_type().
        {"__module__", nullptr, nullptr, nullptr, nullptr},
        {nullptr, nullptr, nullptr, nullptr, nullptr},
    };
    return defs;
}

PyObject* mesh_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return enter([&]() -> PyObject* {
        TupleCall tuple_call(args, kwargs);
        if (!tuple_call.ok()) return nullptr;
        return call(constructor, tuple_call.args(), [&] { return type; });
    });
}

PyObject* mesh_repr(PyObject* self) {
    return enter([&] { return call_on(self, representation, CallArgs{}); });
}

// Runs no Python code, so nothing can unwind it.
void mesh_dealloc(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    if (object_of(self).built) mesh_of(self).~Mesh();
    reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free))(self);
    Py_DECREF(type);
}

// The class is immutable: its attributes cannot be set or deleted from Python. Its name
// carries no module part, so the interpreter sets no `__module__`, warns about the lack of
// one (an error under `-W error`) unless the class's dictionary has that entry, and refuses
// to set it afterwards. The placeholder attribute provides the entry; it is then replaced in
// the class's own dictionary (which the generic `__dict__` getter gives for a class) before
// anyone can see the class. help() needs the module to document the class.
PyTypeObject* create_type() {
    static const std::string doc = doc_with_signature("OrvelMesh", constructor, false);
    PyType_Slot slots[] = {
        {Py_tp_base, &PyBaseObject_Type},
        {Py_tp_doc, const_cast<char*>(doc.c_str())},
        {Py_tp_new, reinterpret_cast<void*>(&mesh_new)},
        {Py_tp_repr, reinterpret_cast<void*>(&mesh_repr)},
        {Py_tp_dealloc, reinterpret_cast<void*>(&mesh_dealloc)},
        {Py_tp_methods, method_defs(std::make_index_sequence<std::tuple_size_v<decltype(methods)>>())},
        {Py_tp_getset, attribute_defs(std::make_index_sequence<std::tuple_size_v<decltype(attributes)>>())},
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

PyObject* new_mesh(PyTypeObject& type, std::string_view app_name, std::string_view plan_json) {
    Result<Plan> plan = Mesh::plan_for(app_name, plan_json);
    if (!plan) return raise_mesh_error(plan.error());

    auto allocate = reinterpret_cast<allocfunc>(PyType_GetSlot(&type, Py_tp_alloc));
    // Released unbuilt should the mesh fail to construct.
    Ref self(allocate(&type, 0));
    if (!self) return nullptr;
    new (object_of(self.get()).storage) Mesh(std::move(plan.value()), app_name);
    object_of(self.get()).built = true;
    return self.release();
}

PyTypeObject* mesh_type() {
    if (!created_type) created_type = create_type();
    return created_type;
}

}  // namespace orvel::python
