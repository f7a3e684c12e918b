#include "python/frame.hpp"

#include <limits>

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

void raise_too_many_positional(const Signature& signature, std::string_view function, Py_ssize_t given) {
    std::string message(function);
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
        if (PyUnicode_CompareWithASCIIString(keyword, signature.params[i].name.data()) == 0) return i;
    }
    return signature.count;
}

// A conversion failure that is exactly TypeError is re-raised naming the parameter,
// keeping the replaced exception's cause. The replaced exception is the caller's, and both
// its text and its release may run Python code, so it is held without a Ref.
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

bool convert_text(PyObject* value, std::string_view& text) {
    if (!(PyType_GetFlags(Py_TYPE(value)) & Py_TPFLAGS_UNICODE_SUBCLASS)) {
        raise_conversion_error(value, "PyString");
        return false;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(value, &size);
    if (!utf8) return false;
    text = std::string_view(utf8, static_cast<std::size_t>(size));
    return true;
}

bool convert_unsigned(PyObject* value, std::uint64_t maximum, std::uint64_t& number) {
    Ref index(PyNumber_Index(value));
    if (!index) return false;
    unsigned long long converted = PyLong_AsUnsignedLongLong(index.get());
    if (converted == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    if (converted > maximum) {
        PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
        return false;
    }
    number = converted;
    return true;
}

bool convert(const Param& param, PyObject* value, Arg& arg) {
    arg.present = true;
    switch (param.kind) {
    case Kind::OptionalText:
        if (value == Py_None) {
            arg.present = false;
            return true;
        }
        return convert_text(value, arg.text);
    case Kind::Text: return convert_text(value, arg.text);
    case Kind::U32: return convert_unsigned(value, std::numeric_limits<std::uint32_t>::max(), arg.number);
    case Kind::U64: return convert_unsigned(value, std::numeric_limits<std::uint64_t>::max(), arg.number);
    }
    return false;
}

// Parameters left unfilled take their defaults.
Arg default_argument(const Param& param) {
    Arg arg;
    arg.present = param.kind != Kind::OptionalText;
    if (param.default_text.size() >= 2 && param.default_text.front() == '"') {
        arg.text = param.default_text.substr(1, param.default_text.size() - 2);
    }
    return arg;
}

// Converts the values bound to each parameter (`given` of them, null for unfilled).
std::optional<Args> convert_all(const Signature& signature, PyObject* const* bound, std::size_t given) {
    std::optional<Args> args(std::in_place);
    for (std::size_t i = 0; i < signature.count; ++i) {
        const Param& param = signature.params[i];
        if (i >= given || !bound[i]) {
            (*args)[i] = default_argument(param);
        } else if (!convert(param, bound[i], (*args)[i])) {
            name_argument_in_type_error(param.name);
            return std::nullopt;
        }
    }
    return args;
}

}  // namespace

std::optional<Args> bind_arguments(const Signature& signature, std::string_view function, const CallArgs& call) {
    const Py_ssize_t capacity = static_cast<Py_ssize_t>(signature.count);
    // Nearly every call: positional arguments only, all the required ones given. Nothing
    // can be missing, repeated or unexpected, so they are converted where they lie.
    const Py_ssize_t keyword_count = call.keyword_names ? PyTuple_Size(call.keyword_names) : 0;
    if (keyword_count == 0 && call.positional_count >= static_cast<Py_ssize_t>(signature.required) &&
        call.positional_count <= capacity) {
        return convert_all(signature, call.positional, static_cast<std::size_t>(call.positional_count));
    }
    if (call.positional_count > capacity) {
        raise_too_many_positional(signature, function, call.positional_count);
        return std::nullopt;
    }
    std::array<PyObject*, max_params> bound{};
    for (Py_ssize_t i = 0; i < call.positional_count; ++i) bound[static_cast<std::size_t>(i)] = call.positional[i];

    const int function_size = static_cast<int>(function.size());
    for (Py_ssize_t i = 0; i < keyword_count; ++i) {
        PyObject* keyword = PyTuple_GetItem(call.keyword_names, i);
        const std::size_t index = parameter_index(signature, keyword);
        if (index == signature.count) {
            PyErr_Format(PyExc_TypeError, "%.*s got an unexpected keyword argument '%U'", function_size,
                         function.data(), keyword);
            return std::nullopt;
        }
        if (bound[index]) {
            PyErr_Format(PyExc_TypeError, "%.*s got multiple values for argument '%U'", function_size,
                         function.data(), keyword);
            return std::nullopt;
        }
        bound[index] = call.keyword_values[i];
    }

    std::vector<std::string_view> missing;
    for (std::size_t i = 0; i < signature.required; ++i) {
        if (!bound[i]) missing.push_back(signature.params[i].name);
    }
    if (!missing.empty()) {
        raise_type_error(std::string(function) + " missing " + std::to_string(missing.size()) +
                         " required positional argument" + (missing.size() == 1 ? "" : "s") + ": " +
                         list_names(missing));
        return std::nullopt;
    }
    return convert_all(signature, bound.data(), signature.count);
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

PyObject* raise_mesh_error(const MeshError& error) {
    PyObject* exception_class = PyExc_RuntimeError;
    switch (error.kind()) {
    case ErrorKind::AgentNotFound: exception_class = PyExc_KeyError; break;
    case ErrorKind::Migration:
    case ErrorKind::Serialization: exception_class = PyExc_ValueError; break;
    case ErrorKind::AlreadyRegistered:
    case ErrorKind::State:
    case ErrorKind::Channel: exception_class = PyExc_RuntimeError; break;
    }
    Ref message(new_str(error.message()));
    if (message) PyErr_SetObject(exception_class, message.get());
    return nullptr;
}

PyObject* new_str(std::string_view text) {
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

PyObject* to_python(const std::string& text) { return new_str(text); }
PyObject* to_python(const SharedText& text) { return new_str(text.view()); }
PyObject* to_python(bool value) { return PyBool_FromLong(value); }
PyObject* to_python(std::uint64_t value) { return PyLong_FromUnsignedLongLong(value); }

PyObject* to_python(const std::vector<std::string>& texts) {
    Ref list(PyList_New(static_cast<Py_ssize_t>(texts.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        PyObject* item = new_str(texts[i]);
        if (!item) return nullptr;
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

PyObject* to_python(const Result<void>& result) {
    if (!result) return raise_mesh_error(result.error());
    Py_RETURN_NONE;
}

PyObject* to_python(Result<PendingChange>&& result) {
    if (!result) return raise_mesh_error(result.error());
    Ref text(new_str(result->result()));
    if (text) result->commit();
    return text.release();
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
