// Fetches a list of small pictures from the stand-in with a new WebSession per picture, the way
// a download job does, first one after another and then with five workers, and prints requests
// per second. Usage: bench_web_fetch.exe <file with one address per line> [workers]
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "web/web_session.h"

namespace {

struct Outcome {
    int ok = 0;
    int failed = 0;
    long long bytes = 0;
};

bool FetchOne(const Text& url, long long& bytes) {
    WebSession session;
    if (!session.Open("GET", url) || !session.Send()) return false;
    const ByteBuffer body = session.GetBody();
    bytes += static_cast<long long>(body.size());
    return session.GetStatusCode() == 200 && !body.empty();
}

Outcome Run(const std::vector<Text>& urls, int workers) {
    std::atomic<size_t> next{0};
    std::vector<Outcome> outcomes(workers);
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w) {
        threads.emplace_back([&, w] {
            for (size_t i = next++; i < urls.size(); i = next++) {
                if (FetchOne(urls[i], outcomes[w].bytes)) {
                    ++outcomes[w].ok;
                } else {
                    ++outcomes[w].failed;
                }
            }
        });
    }
    for (std::thread& t : threads) t.join();
    Outcome total;
    for (const Outcome& o : outcomes) {
        total.ok += o.ok;
        total.failed += o.failed;
        total.bytes += o.bytes;
    }
    return total;
}

void Report(const char* label, const std::vector<Text>& urls, int workers) {
    const auto start = std::chrono::steady_clock::now();
    const Outcome o = Run(urls, workers);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %d ok, %d failed, %lld bytes in %.3f s = %.1f req/s\n", label, o.ok, o.failed,
                o.bytes, seconds, seconds > 0 ? urls.size() / seconds : 0.0);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_web_fetch <url list file> [workers]\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    std::vector<Text> urls;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) urls.push_back(line);
    }
    if (urls.empty()) {
        std::fprintf(stderr, "no addresses in %s\n", argv[1]);
        return 2;
    }
    const int workers = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    Report("websession sequential", urls, 1);
    Report(("websession " + std::to_string(workers) + " workers").c_str(), urls, workers);
    return 0;
}
