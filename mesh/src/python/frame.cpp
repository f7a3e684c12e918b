#include "python/frame.hpp"

#include <string>

namespace orvel::python {
namespace {

// For messages made only of the system's own texts. Those that carry a text from Python (a
// keyword name, a type name) are formatted as Python strings with PyErr_Format, so that
// text arrives whole, NULs and lone surrogates included.
void raise_type_error(const std::string& message) { PyErr_SetString(PyExc_TypeError, message.c_str()); }

// "'a'", "'a' and 'b'", "'a', 'b' and 'c'"
std::string list_names(const std::vector<std::string_view>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
        text += '\'';
        text += names[i];
        text += '\'';
    }
    return text;
}

// "OrvelMesh.get_agent()"
std::string function_name(const Signature& signature) {
    return "OrvelMesh." + std::string(signature.name) + "()";
}

void raise_too_many_positional(const Signature& signature, const std::string& function, Py_ssize_t given) {
    std::string message = function;
    if (signature.required == signature.count) {
        message += " takes " + std::to_string(signature.count);
    } else {
        message += " takes from " + std::to_string(signature.required) + " to " + std::to_string(signature.count);
    }
    message += " positional arguments but " + std::to_string(given) + (given == 1 ? " was" : " were") + " given";
    raise_type_error(message);
}

// The parameter a keyword names, or `signature.count` for none. Compared by code point,
// so a name that cannot be encoded (a lone surrogate) is merely unknown.
std::size_t parameter_index(const Signature& signature, PyObject* keyword) {
    for (std::size_t i = 0; i < signature.count; ++i) {
        if (PyUnicode_CompareWithASCIIString(keyword, signature.params[i].data()) == 0) return i;
    }
    return signature.count;
}

}  // namespace

std::optional<Bound> bind_by_name(const Signature& signature, const CallArgs& call,
                                  std::array<PyObject*, max_params>& scratch) {
    const Py_ssize_t capacity = static_cast<Py_ssize_t>(signature.count);
    // An empty tuple of names is a call by position too.
    const Py_ssize_t keyword_count = call.keyword_names ? PyTuple_Size(call.keyword_names) : 0;
    if (keyword_count == 0 && call.positional_count >= static_cast<Py_ssize_t>(signature.required) &&
        call.positional_count <= capacity) {
        return Bound{call.positional, static_cast<std::size_t>(call.positional_count)};
    }
    const std::string function = function_name(signature);
    if (call.positional_count > capacity) {
        raise_too_many_positional(signature, function, call.positional_count);
        return std::nullopt;
    }
    scratch.fill(nullptr);
    for (Py_ssize_t i = 0; i < call.positional_count; ++i) scratch[static_cast<std::size_t>(i)] = call.positional[i];

    for (Py_ssize_t i = 0; i < keyword_count; ++i) {
        PyObject* keyword = PyTuple_GetItem(call.keyword_names, i);
        const std::size_t index = parameter_index(signature, keyword);
        if (index == signature.count) {
            PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'", function.c_str(), keyword);
            return std::nullopt;
        }
        if (scratch[index]) {
            PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%U'", function.c_str(), keyword);
            return std::nullopt;
        }
        scratch[index] = call.keyword_values[i];
    }

    std::vector<std::string_view> missing;
    for (std::size_t i = 0; i < signature.required; ++i) {
        if (!scratch[i]) missing.push_back(signature.params[i]);
    }
    if (!missing.empty()) {
        raise_type_error(function + " missing " + std::to_string(missing.size()) + " required positional argument" +
                         (missing.size() == 1 ? "" : "s") + ": " + list_names(missing));
        return std::nullopt;
    }
    return Bound{scratch.data(), signature.count};
}

// The replaced exception keeps its cause. It is the caller's, and both its text and its
// release may run Python code, so it is held without a Ref.
void name_argument_in_type_error(std::string_view parameter) {
    PyObject* raised = PyErr_GetRaisedException();
    if (!raised || Py_TYPE(raised) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
        PyErr_SetRaisedException(raised);
        return;
    }
    PyObject* message =
        PyUnicode_FromFormat("argument '%.*s': %S", static_cast<int>(parameter.size()), parameter.data(), raised);
    if (message) {
        PyErr_SetObject(PyExc_TypeError, message);
        Py_DECREF(message);
        PyObject* replacement = PyErr_GetRaisedException();
        PyException_SetCause(replacement, PyException_GetCause(raised));
        PyErr_SetRaisedException(replacement);
    }
    Py_DECREF(raised);
}

TupleCall::TupleCall(PyObject* args, PyObject* kwargs) {
    const Py_ssize_t positional = PyTuple_Size(args);
    const Py_ssize_t keywords = kwargs ? PyDict_Size(kwargs) : 0;
    values_.reserve(static_cast<std::size_t>(positional + keywords));
    for (Py_ssize_t i = 0; i < positional; ++i) values_.push_back(PyTuple_GetItem(args, i));
    if (keywords > 0) {
        names_ = Ref(PyTuple_New(keywords));
        if (!names_) {
            ok_ = false;
            return;
        }
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        Py_ssize_t position = 0;
        for (Py_ssize_t i = 0; PyDict_Next(kwargs, &position, &key, &value); ++i) {
            Py_INCREF(key);
            PyTuple_SetItem(names_.get(), i, key);
            values_.push_back(value);
        }
    }
    call_ = CallArgs{values_.data(), positional, names_.get(), values_.data() + positional};
}

void raise_conversion_error(PyObject* value, std::string_view target) {
    Ref type_name(PyType_GetQualName(Py_TYPE(value)));
    if (!type_name) return;
    PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to '%.*s'", type_name.get(),
                 static_cast<int>(target.size()), target.data());
}

void raise_panic(const char* message) {
    static PyObject* panic_class = nullptr;
    if (!panic_class) {
        panic_class = PyErr_NewExceptionWithDoc(
            "orvel_mesh.PanicException",
            "An operation of the mesh was abandoned by an internal fault; the component it was "
            "changing stays unusable.",
            PyExc_BaseException, nullptr);
        if (!panic_class) return;
    }
    // The class can be changed from Python, so making the exception may run Python code:
    // no Ref is held across it.
    PyObject* text = new_str(message && *message ? message : "internal fault in orvel_mesh");
    if (!text) return;
    PyErr_SetObject(panic_class, text);
    Py_DECREF(text);
}

}  // namespace orvel::python
