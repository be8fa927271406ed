// Fetches a list of small pictures from the stand-in, first one after another and then with
// several workers, and prints requests per second: with a new WebSession per picture, and with
// one WebSession per worker kept for all its pictures (its connection kept with it). With a
// cookie, every request carries it, as the program's listing pages carry the sign-in's.
// Usage: bench_web_fetch.exe <file with one address per line> [workers] [new|reused|both]
//                            [cookie]
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "web/endpoints.h"
#include "web/web_session.h"

namespace {

struct Outcome {
    int ok = 0;
    int failed = 0;
    long long bytes = 0;
};

Text g_cookie;

bool FetchOne(WebSession& session, const Text& url, long long& bytes) {
    if (!session.Open("GET", url)) return false;
    if (!g_cookie.empty()) session.SetCookie(g_cookie);
    // As the program asks: today's service refuses an old browser, and pictures without the site.
    session.SetUserAgent(kBrowserUserAgent);
    if (IsImageHostUrl(url)) session.SetReferer(kSiteReferer);
    if (!session.Send()) return false;
    const ByteBuffer body = session.GetBody();
    bytes += static_cast<long long>(body.size());
    return session.GetStatusCode() == 200 && !body.empty();
}

// reuse: one session per worker for all its pictures; else a new session per picture.
Outcome Run(const std::vector<Text>& urls, int workers, bool reuse) {
    std::atomic<size_t> next{0};
    std::vector<Outcome> outcomes(workers);
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w) {
        threads.emplace_back([&, w] {
            std::unique_ptr<WebSession> kept = reuse ? std::make_unique<WebSession>() : nullptr;
            for (size_t i = next++; i < urls.size(); i = next++) {
                std::unique_ptr<WebSession> fresh =
                    reuse ? nullptr : std::make_unique<WebSession>();
                if (FetchOne(reuse ? *kept : *fresh, urls[i], outcomes[w].bytes)) {
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

void Report(const char* label, const std::vector<Text>& urls, int workers, bool reuse) {
    const auto start = std::chrono::steady_clock::now();
    const Outcome o = Run(urls, workers, reuse);
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
    const std::string mode = argc > 3 ? argv[3] : "both";
    if (argc > 4) g_cookie = argv[4];
    const std::string many = std::to_string(workers) + " workers";
    if (mode != "reused") {
        Report("websession sequential", urls, 1, false);
        Report(("websession " + many).c_str(), urls, workers, false);
    }
    if (mode != "new") {
        Report("websession reused sequential", urls, 1, true);
        Report(("websession reused " + many).c_str(), urls, workers, true);
    }
    return 0;
}
