// The class's method table: one row per method gives its parameters, doc text and
// handler; the interpreter's method definitions, the text signatures and the argument
// descriptors are all made from it.
#pragma once

#include <array>
#include <string>

#include "mesh.hpp"
#include "python/frame.hpp"

namespace orvel::python {

using Handler = PyObject* (*)(Mesh& mesh, const Args& args);

struct MethodSpec {
    const char* name;
    bool takes_arguments;
    Signature signature;
    const char* doc_body;
    Handler handler;
};

inline constexpr std::size_t method_count = 19;
extern const std::array<MethodSpec, method_count> methods;

// The constructor's parameters and the class doc body.
extern const Signature constructor_signature;
extern const char* const class_doc_body;

// "name(app_name, plan_json=\"\")": the text signature without a leading `$self`.
std::string text_signature(const char* name, const Signature& signature, bool with_self);
// Text signature, "--", an empty line, then the body.
std::string doc_with_signature(const char* name, const Signature& signature, const char* body, bool with_self);

}  // namespace orvel::python
