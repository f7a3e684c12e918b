#include "python/arguments.hpp"

#include "python/frame.hpp"
#include "python/key_hash.hpp"

namespace orvel::python {

bool convert_text(PyObject* value, std::string_view& text) {
    // The exact type first: asking for the flags is a call into the interpreter.
    if (!Py_IS_TYPE(value, &PyUnicode_Type) && !(PyType_GetFlags(Py_TYPE(value)) & Py_TPFLAGS_UNICODE_SUBCLASS)) {
        raise_conversion_error(value, "PyString");
        return false;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(value, &size);
    if (!utf8) return false;
    text = std::string_view(utf8, static_cast<std::size_t>(size));
    return true;
}

bool convert_key(PyObject* value, HashedText& key) {
    return convert_text(value, key.text) && key_hash(value, key.text, key.hash);
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

bool Argument<AgentStatus>::prepare(Held text, AgentStatus& status) {
    const auto parsed = parse_status(text);
    if (!parsed) {
        PyErr_SetString(PyExc_ValueError, unknown_status_message(text).c_str());
        return false;
    }
    status = *parsed;
    return true;
}

std::string shown_default(std::string_view text) { return '"' + std::string(text) + '"'; }

std::string shown_default(const HashedText& key) { return shown_default(key.text); }

std::string shown_default(const std::optional<std::string_view>& text) {
    return text ? shown_default(*text) : "None";
}

std::string shown_default(std::uint64_t number) { return std::to_string(number); }

}  // namespace orvel::python
