// The deployment plan: read once from the constructor's text, kept unchanged, given back.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "error.hpp"
#include "hash.hpp"
#include "shared_text.hpp"

namespace orvel {

struct BackendSpec {
    std::string backend_type;
    SharedText config;  // canonical JSON text; "null" when the plan gave none
};

struct Plan {
    std::string app_name;
    StringMap<BackendSpec> backends;
    std::vector<std::string> functions;
    std::vector<std::string> agents;
};

// Reads plan text: trimmed of Unicode white space, blank or "{}" gives the default plan,
// otherwise the object (or array) form. Failures are Serialization errors carrying
// "{description} at line {} column {}".
Result<Plan> read_plan(std::string_view text);

// Compact JSON: app_name, backends, functions, agents in that order.
std::string write_plan(const Plan& plan);

}  // namespace orvel
