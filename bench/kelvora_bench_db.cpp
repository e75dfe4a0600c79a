// kelvora-bench-db: builds the benchmark's store database.
//
//   kelvora-bench-db <database path> [--payments N] [--journal N] [--no-index]
//                    [--method server|client] [--async-writes]

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

#include "bench_data.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: kelvora-bench-db <database path> [--payments N] [--journal N] [--no-index]\n"
                 "                        [--method server|client] [--async-writes]\n");
    return 2;
}

bool count(const char* text, std::size_t& value) {
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (!*text || *end || text[0] == '-') return false;
    value = static_cast<std::size_t>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kelvora::bench;
    BenchDataOptions options;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--payments" && i + 1 < argc) {
            if (!count(argv[++i], options.payments) || options.payments == 0) return usage();
        } else if (arg == "--journal" && i + 1 < argc) {
            if (!count(argv[++i], options.journalRows)) return usage();
        } else if (arg == "--no-index") {
            options.paymentIndex = false;
        } else if (arg == "--async-writes") {
            options.forcedWrites = false;
        } else if (arg == "--method" && i + 1 < argc) {
            const std::string m = argv[++i];
            if (m == "server")
                options.method = PaymentMethod::Server;
            else if (m == "client")
                options.method = PaymentMethod::Client;
            else
                return usage();
        } else if (!arg.empty() && arg[0] != '-' && path.empty()) {
            path = arg;
        } else {
            return usage();
        }
    }
    if (path.empty()) return usage();
    try {
        path = std::filesystem::absolute(path).lexically_normal().string();
        if (std::filesystem::exists(path)) {
            std::fprintf(stderr, "kelvora-bench-db: %s exists; left alone\n", path.c_str());
            return 1;
        }
        const GenerationTimes t = generateBenchDatabase(path, options);
        std::printf("Created %s: %zu payments (%s, %s), %zu journal rows\n", path.c_str(), options.payments,
                    options.paymentIndex ? "index on Pymt_CloseDate" : "no index",
                    options.method == PaymentMethod::Server ? "made in the engine" : "inserted by the client",
                    options.journalRows);
        std::printf("generation: schema %.2f s, payments %.2f s, journal %.2f s, total %.2f s\n", t.schemaSeconds,
                    t.paymentSeconds, t.journalSeconds, t.schemaSeconds + t.paymentSeconds + t.journalSeconds);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelvora-bench-db: %s\n", e.what());
        return 1;
    }
    return 0;
}
