// Both readers over whole corpora: the project's own conformance corpus, and with the
// argument `reference` the public parsing suite and the three standard benchmark documents
// from the folder that ORVEL_MESH_REFERENCE_DATA names (skipped when it names none).
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "check.hpp"
#include "json/json.hpp"

namespace {

namespace fs = std::filesystem;
using orvel::json::canonicalize;
using orvel::json::validate;

constexpr int skipped = 77;  // the test's SKIP_RETURN_CODE in CMakeLists.txt

std::string file_bytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    CHECK(file.good());
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The canonical text, or "error: " and the error text; the checking reader must agree.
std::string read(std::string_view text) {
    std::string out;
    const auto error = canonicalize(text, out);
    const auto checked = validate(text);
    CHECK_EQ(checked.has_value(), error.has_value());
    if (!error) return out;
    if (checked) CHECK_EQ(checked->text(), error->text());
    return "error: " + error->text();
}

std::vector<std::string> fields_of(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
        fields.push_back(line.substr(start, tab - start));
    }
    fields.push_back(line.substr(start));
    return fields;
}

// Every line of expected.tsv: input, kind, outcome (accept or refuse), expected text.
void check_conformance() {
    const fs::path corpus = ORVEL_MESH_CONFORMANCE;
    std::ifstream manifest(corpus / "expected.tsv");
    CHECK(manifest.good());
    int cases = 0;
    for (std::string line; std::getline(manifest, line);) {
        if (line.empty() || line[0] == '#') continue;
        const auto fields = fields_of(line);
        CHECK_EQ(fields.size(), std::size_t{4});
        if (fields.size() != 4) continue;
        const std::string& outcome = fields[2];
        CHECK(outcome == "accept" || outcome == "refuse");
        const std::string expected = (outcome == "refuse" ? "error: " : "") + fields[3];
        const std::string got = read(file_bytes(corpus / "inputs" / fields[0]));
        if (got != expected) std::cerr << "conformance/" << fields[0] << ":\n";
        CHECK_EQ(got, expected);
        if (outcome == "accept") CHECK_EQ(read(got), got);
        ++cases;
    }
    CHECK(cases >= 200);
}

// Accepted files are written in a form that reads back to itself; the suite's y_ files
// must be accepted and its n_ files refused (i_ files may go either way).
void check_public_suite(const fs::path& suite) {
    CHECK(fs::is_directory(suite));
    if (!fs::is_directory(suite)) return;
    int accepted = 0;
    int refused = 0;
    for (const auto& entry : fs::directory_iterator(suite)) {
        if (entry.path().extension() != ".json") continue;
        const std::string name = entry.path().filename().string();
        const std::string got = read(file_bytes(entry.path()));
        const bool error = got.starts_with("error: ");
        if (name[0] == 'y' && error) std::cerr << name << ": " << got << "\n";
        if (name[0] == 'n' && !error) std::cerr << name << " was accepted\n";
        if (name[0] == 'y') CHECK(!error);
        if (name[0] == 'n') CHECK(error);
        if (error) {
            ++refused;
        } else {
            CHECK_EQ(read(got), got);
            ++accepted;
        }
    }
    CHECK(accepted >= 95);
    CHECK(refused >= 188);
}

// The benchmark documents read back to the same canonical text.
void check_fixed_point(const fs::path& documents) {
    for (const char* name : {"twitter.json", "citm_catalog.json", "canada.json"}) {
        const std::string text = file_bytes(documents / name);
        CHECK(!text.empty());
        const std::string once = read(text);
        CHECK(!once.starts_with("error: "));
        CHECK(once.size() < text.size());
        CHECK(read(once) == once);
    }
}

int check_reference_data() {
    const char* folder = std::getenv("ORVEL_MESH_REFERENCE_DATA");
    if (folder == nullptr || !fs::is_directory(folder)) {
        std::cout << "skipped: the public parsing suite and the standard benchmark documents"
                     " (ORVEL_MESH_REFERENCE_DATA names no folder)\n";
        return skipped;
    }
    check_public_suite(fs::path(folder) / "jsontestsuite");
    check_fixed_point(fs::path(folder) / "bench");
    return check::report("json reference data");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string_view(argv[1]) == "reference") return check_reference_data();
    check_conformance();
    return check::report("json conformance");
}
