#pragma once
// What the network tests of WebSession share: reading /_t/echo answers and the stand-in's log.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "common/standin.h"
#include "text/json_document.h"
#include "web/web_session.h"

namespace webtest {

using HeaderList = std::vector<std::pair<Text, Text>>;

// What /_t/echo saw of a request.
struct Echo {
    Text method, scheme, host, path, body;
    HeaderList headers;

    std::vector<Text> Values(const Text& name) const {
        std::vector<Text> values;
        for (const auto& [k, v] : headers) {
            if (_stricmp(k.c_str(), name.c_str()) == 0) values.push_back(v);
        }
        return values;
    }
};

inline Echo ParseEcho(const Text& json) {
    Echo e;
    JsonDocument doc;
    if (!doc.Parse(json)) return e;
    e.method = doc.GetText("method");
    e.scheme = doc.GetText("scheme");
    e.host = doc.GetText("host");
    e.path = doc.GetText("path");
    e.body = doc.GetText("body");
    const int n = doc.CountOf("headers");
    for (int i = 0; i < n; ++i) {
        const Text at = "headers.[" + std::to_string(i) + "]";
        e.headers.emplace_back(doc.GetText(at + ".[0]"), doc.GetText(at + ".[1]"));
    }
    return e;
}

// Byte i of every /_t/ pattern body is i % 251.
inline ::testing::AssertionResult IsPattern(const ByteBuffer& body, size_t expectedSize) {
    if (body.size() != expectedSize) {
        return ::testing::AssertionFailure()
               << "size " << body.size() << ", expected " << expectedSize;
    }
    for (size_t i = 0; i < body.size(); ++i) {
        if (static_cast<unsigned char>(body[i]) != i % 251) {
            return ::testing::AssertionFailure() << "byte " << i << " differs";
        }
    }
    return ::testing::AssertionSuccess();
}

// The requests the stand-in logged for a query such as "?host=weibo.com"; each as its JSON path
// prefix "requests.[i]" inside `log`.
inline int LoggedRequests(JsonDocument& log, const Text& query) {
    if (!log.Parse(standin::ReadLog(query))) return -1;
    return log.CountOf("requests");
}

// Opens and sends a GET; the session stays for inspection.
inline bool Get(WebSession& s, const Text& url, int retries = 0) {
    return s.Open("GET", url) && s.Send(Text(), false, retries);
}
}  // namespace webtest
