// Throughput of reading documents into canonical text (and of checking them only), in
// MB/s of input, over the documents named on the command line; beside it simdjson's parse
// and minify of the same text when the benchmark was built with simdjson.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

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

// Best of several rounds, each long enough to swamp the clock's resolution.
template <class Work>
double megabytes_per_second(std::size_t size, Work work) {
    double best = 0;
    for (int round = 0; round < 5; ++round) {
        int repetitions = 0;
        const auto start = std::chrono::steady_clock::now();
        std::chrono::duration<double> elapsed{};
        do {
            work();
            ++repetitions;
            elapsed = std::chrono::steady_clock::now() - start;
        } while (elapsed.count() < 0.2);
        const double rate = static_cast<double>(size) * repetitions / elapsed.count() / 1e6;
        if (rate > best) best = rate;
    }
    return best;
}

#ifdef ORVEL_BENCH_SIMDJSON
// Parse into its tree, then write it compactly: the nearest thing simdjson does to ours.
double simdjson_rate(const std::string& text) {
    const simdjson::padded_string padded(text);
    simdjson::dom::parser parser;
    std::string out;
    return megabytes_per_second(text.size(), [&] {
        simdjson::dom::element root;
        if (parser.parse(padded).get(root)) std::abort();
        out = simdjson::minify(root);
    });
}
#endif

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: json_throughput DOCUMENT...\n");
        return 2;
    }
#ifndef ORVEL_BENCH_SIMDJSON
    std::printf("simdjson: skipped, the benchmark was built without it (install libsimdjson-dev)\n");
#endif
    std::printf("%-20s %12s %14s %12s %14s %14s\n", "document", "bytes", "canonical MB/s", "check MB/s",
                "simdjson MB/s", "ours/simdjson");
    for (int index = 1; index < argc; ++index) {
        const std::string text = read_file(argv[index]);
        if (text.empty()) {
            std::fprintf(stderr, "cannot read %s\n", argv[index]);
            return 1;
        }
        std::string out;
        const double canonical = megabytes_per_second(text.size(), [&] {
            out.clear();
            if (orvel::json::canonicalize(text, out)) std::abort();
        });
        const double check = megabytes_per_second(text.size(), [&] {
            if (orvel::json::validate(text)) std::abort();
        });
        const std::string name = std::filesystem::path(argv[index]).filename().string();
#ifdef ORVEL_BENCH_SIMDJSON
        const double simdjson = simdjson_rate(text);
        std::printf("%-20s %12zu %14.0f %12.0f %14.0f %14.2f\n", name.c_str(), text.size(), canonical, check,
                    simdjson, canonical / simdjson);
#else
        std::printf("%-20s %12zu %14.0f %12.0f %14s %14s\n", name.c_str(), text.size(), canonical, check, "-", "-");
#endif
        std::fflush(stdout);
    }
    return 0;
}
