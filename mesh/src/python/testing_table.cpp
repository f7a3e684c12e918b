#include "python/testing_table.hpp"

#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "python/methods.hpp"

namespace orvel::python {
namespace {

// Appends a new reference, or fails for none.
bool append(PyObject* list, PyObject* made) {
    Ref item(made);
    return item && PyList_Append(list, item.get()) == 0;
}

// [(name, annotation, default or None)] for the row's parameters.
template <auto Operation>
PyObject* parameter_list(const Row<Operation>& row) {
    Ref list(PyList_New(0));
    if (!list) return nullptr;
    bool ok = true;
    row.parameters.describe([&](std::string_view name, auto kind, const std::optional<std::string>& shown) {
        const std::string annotation(decltype(kind)::annotation);
        ok = ok && append(list.get(), Py_BuildValue("(s#sz)", name.data(), static_cast<Py_ssize_t>(name.size()),
                                                    annotation.c_str(), shown ? shown->c_str() : nullptr));
    });
    return ok ? list.release() : nullptr;
}

// (kind, name, parameters, result annotation, doc)
template <auto Operation>
PyObject* row_data(const char* kind, const Row<Operation>& row, const std::string& result) {
    PyObject* parameters = parameter_list(row);
    if (!parameters) return nullptr;
    return Py_BuildValue("(ssNss)", kind, row.name(), parameters, result.c_str(), row.doc);
}

template <auto Operation>
std::string result_type(const Row<Operation>&) {
    return python_type(Type<std::remove_cvref_t<typename Row<Operation>::Type::Result>>{});
}

template <class Rows>
bool append_rows(PyObject* list, const char* kind, const Rows& rows) {
    return std::apply([&](const auto&... row) { return (append(list, row_data(kind, row, result_type(row))) && ...); },
                      rows);
}

}  // namespace

PyObject* method_table(PyObject*, PyObject*) {
    return enter([&]() -> PyObject* {
        Ref table(PyList_New(0));
        if (!table) return nullptr;
        const bool made = append(table.get(), row_data("constructor", constructor, "OrvelMesh")) &&
                          append_rows(table.get(), "attribute", attributes) &&
                          append_rows(table.get(), "method", methods);
        return made ? table.release() : nullptr;
    });
}

}  // namespace orvel::python
