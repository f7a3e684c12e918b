#include "fault.hpp"

#if ORVEL_MESH_TEST_SEAM

#include <string>
#include <vector>
#include <algorithm>

#include "error.hpp"

namespace orvel::fault {
namespace {
std::vector<std::string>& armed_sites() {
    static std::vector<std::string> sites;
    return sites;
}
}  // namespace

void arm(std::string_view site) { armed_sites().emplace_back(site); }

void point(std::string_view site) {
    auto& sites = armed_sites();
    auto found = std::find(sites.begin(), sites.end(), site);
    if (found == sites.end()) return;
    sites.erase(found);
    throw InternalFault("injected fault at " + std::string(site));
}

}  // namespace orvel::fault

#endif
