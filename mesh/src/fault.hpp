// Fault points: places where tests can make an operation fail as an internal fault.
// They compile to nothing unless the core is built for the fault-injection test module.
#pragma once

#include <string_view>

namespace orvel::fault {

#if ORVEL_MESH_TEST_SEAM
// Throws InternalFault when `site` has been armed; each arming fires once.
void point(std::string_view site);
void arm(std::string_view site);
#else
constexpr void point(std::string_view) {}
#endif

}  // namespace orvel::fault
