// Throughput of reading documents into canonical text (and of checking them only), in
// MB/s of input, over the documents named on the command line; beside it simdjson's parse
// and minify of the same text when the benchmark was built with simdjson.
//   json_throughput [--rounds N] DOCUMENT...   the best of N rounds (21) of 0.05 s each
#include <algorithm>
#include <array>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "json/json.hpp"

#ifdef ORVEL_BENCH_SIMDJSON
#include <simdjson.h>
#endif

namespace {

std::string read_file(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// One round long enough to swamp the clock's resolution, in MB/s of processor time: on a
// machine shared with other work, time spent waiting for the processor is not ours.
template <class Work>
double round_rate(std::size_t size, Work& work) {
    int repetitions = 0;
    const std::clock_t start = std::clock();
    double elapsed = 0;
    do {
        work();
        ++repetitions;
        elapsed = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    } while (elapsed < 0.05);
    return static_cast<double>(size) * repetitions / elapsed / 1e6;
}

// The best round of each, the rounds taken in turns so that the ratios compare figures
// measured under the same load from the rest of the machine.
template <class... Works>
std::array<double, sizeof...(Works)> best_rates(int rounds, std::size_t size, Works... works) {
    std::array<double, sizeof...(Works)> best{};
    for (int round = 0; round < rounds; ++round) {
        std::size_t index = 0;
        ((best[index] = std::max(best[index], round_rate(size, works)), ++index), ...);
    }
    return best;
}

#ifdef ORVEL_BENCH_SIMDJSON
// Parse into its tree, then write it compactly: the nearest thing simdjson does to ours.
struct SimdjsonMinify {
    explicit SimdjsonMinify(const std::string& text) : padded(text) {}
    void operator()() {
        simdjson::dom::element root;
        if (parser.parse(padded).get(root)) std::abort();
        out = simdjson::minify(root);
    }
    simdjson::padded_string padded;
    simdjson::dom::parser parser;
    std::string out;
};
#endif

}  // namespace

int main(int argc, char** argv) {
    int first = 1;
    int rounds = 21;
    if (argc > 2 && std::string_view(argv[1]) == "--rounds") {
        rounds = std::atoi(argv[2]);
        first = 3;
    }
    if (first >= argc || rounds < 1) {
        std::fprintf(stderr, "usage: json_throughput [--rounds N] DOCUMENT...\n");
        return 2;
    }
#ifndef ORVEL_BENCH_SIMDJSON
    std::printf("simdjson: skipped, the benchmark was built without it (install libsimdjson-dev)\n");
#endif
    std::printf("%-20s %12s %14s %12s %14s %14s\n", "document", "bytes", "canonical MB/s", "check MB/s",
                "simdjson MB/s", "ours/simdjson");
    for (int index = first; index < argc; ++index) {
        const std::string text = read_file(argv[index]);
        if (text.empty()) {
            std::fprintf(stderr, "cannot read %s\n", argv[index]);
            return 1;
        }
        std::string out;
        const auto canonical = [&] {
            out.clear();
            if (orvel::json::canonicalize(text, out)) std::abort();
        };
        const auto check = [&] {
            if (orvel::json::validate(text)) std::abort();
        };
        const std::string name = std::filesystem::path(argv[index]).filename().string();
#ifdef ORVEL_BENCH_SIMDJSON
        const auto rates = best_rates(rounds, text.size(), canonical, check, SimdjsonMinify(text));
        std::printf("%-20s %12zu %14.0f %12.0f %14.0f %14.2f\n", name.c_str(), text.size(), rates[0], rates[1],
                    rates[2], rates[0] / rates[2]);
#else
        const auto rates = best_rates(rounds, text.size(), canonical, check);
        std::printf("%-20s %12zu %14.0f %12.0f %14s %14s\n", name.c_str(), text.size(), rates[0], rates[1], "-", "-");
#endif
        std::fflush(stdout);
    }
    return 0;
}
