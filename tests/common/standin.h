// Control of the stand-in service from Windows tests: plain winsock, no WebSession, so a test
// of the request engine can steer the service without trusting the engine. Link ws2_32.
// What each call does on the service side: tests/sandbox/README.md.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>

namespace standin {

struct Reply {
    int status = 0;  // 0 when the service could not be reached
    std::string body;
};

namespace detail {

// Host and port of the control API, from STANDIN_CONTROL ("http://control.test" by default).
inline void ControlAddress(std::string& host, std::string& port) {
    host = "control.test";
    port = "80";
    wchar_t buffer[256] = {};
    DWORD n = GetEnvironmentVariableW(L"STANDIN_CONTROL", buffer, 255);
    if (n == 0 || n >= 255) return;
    std::string text;
    for (DWORD i = 0; i < n; ++i)
        text.push_back(buffer[i] < 128 ? static_cast<char>(buffer[i]) : '?');
    if (text.rfind("http://", 0) == 0) text.erase(0, 7);
    size_t slash = text.find('/');
    if (slash != std::string::npos) text.erase(slash);
    size_t colon = text.find(':');
    if (colon != std::string::npos) {
        port = text.substr(colon + 1);
        text.erase(colon);
    }
    if (!text.empty()) host = text;
}

class Socket {
  public:
    Socket() = default;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket() {
        if (s_ != INVALID_SOCKET) closesocket(s_);
    }
    SOCKET Get() const { return s_; }
    void Reset(SOCKET s) {
        if (s_ != INVALID_SOCKET) closesocket(s_);
        s_ = s;
    }

  private:
    SOCKET s_ = INVALID_SOCKET;
};

inline bool StartWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

inline bool SendAll(SOCKET s, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        int n = send(s, data.data() + sent, static_cast<int>(data.size() - sent), 0);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Minimal JSON string quoting for the texts tests pass (states, names).
inline std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

}  // namespace detail

// One request to the control API; the connection is closed after each answer.
inline Reply Call(std::string_view method, std::string_view path, std::string_view body = {}) {
    Reply reply;
    if (!detail::StartWinsock()) return reply;
    std::string host, port;
    detail::ControlAddress(host, port);
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || found == nullptr)
        return reply;
    detail::Socket sock;
    for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
        sock.Reset(socket(a->ai_family, a->ai_socktype, a->ai_protocol));
        if (sock.Get() == INVALID_SOCKET) continue;
        if (connect(sock.Get(), a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0) break;
        sock.Reset(INVALID_SOCKET);
    }
    freeaddrinfo(found);
    if (sock.Get() == INVALID_SOCKET) return reply;

    std::string request;
    request.append(method).append(" ").append(path).append(" HTTP/1.1\r\nHost: control.test\r\n");
    request.append("Content-Type: application/json\r\nConnection: close\r\n");
    request.append("Content-Length: ").append(std::to_string(body.size())).append("\r\n\r\n");
    request.append(body);
    if (!detail::SendAll(sock.Get(), request)) return reply;

    std::string answer;
    char buffer[8192];
    for (;;) {
        int n = recv(sock.Get(), buffer, sizeof buffer, 0);
        if (n <= 0) break;
        answer.append(buffer, static_cast<size_t>(n));
    }
    size_t split = answer.find("\r\n\r\n");
    if (answer.rfind("HTTP/1.", 0) != 0 || split == std::string::npos) return reply;
    reply.status = std::atoi(answer.c_str() + 9);
    reply.body = answer.substr(split + 4);
    return reply;
}

inline bool Ok(const Reply& r) {
    return r.status == 200;
}

// Default scenario, QR "waiting", no faults, empty log, knobs back to default.
inline bool Reset() {
    return Ok(Call("POST", "/reset"));
}

// A scenario of tests/sandbox/scenarios by name ("default", "demo").
inline bool LoadScenario(std::string_view name) {
    return Ok(Call("POST", std::string("/scenario?name=").append(name)));
}

// A scenario given as JSON text (shape in tests/sandbox/README.md).
inline bool LoadScenarioJson(std::string_view json) {
    return Ok(Call("POST", "/scenario", json));
}

// "waiting", "scanned", "expired", "used", "error", "confirmed" or a retcode in decimal.
inline bool SetQrState(std::string_view state) {
    bool number = !state.empty() && state.find_first_not_of("0123456789") == std::string_view::npos;
    std::string body = "{\"state\":";
    body.append(number ? std::string(state) : detail::Quote(state)).append("}");
    return Ok(Call("POST", "/qr", body));
}

// One state per poll of a code on show; the last one then stays.
inline bool SetQrSequence(std::initializer_list<std::string_view> states) {
    std::string body = "{\"sequence\":[";
    bool first = true;
    for (std::string_view s : states) {
        if (!first) body.push_back(',');
        first = false;
        body.append(detail::Quote(s));
    }
    body.append("]}");
    return Ok(Call("POST", "/qr", body));
}

// "retcode", "msg", "noqrid", or empty to issue codes again.
inline bool SetQrRefuse(std::string_view mode) {
    std::string body = "{\"refuse\":";
    body.append(mode.empty() ? std::string("null") : detail::Quote(mode)).append("}");
    return Ok(Call("POST", "/qr", body));
}

// Knobs as a JSON object, e.g. {"cross_domain_count":3}.
inline bool SetKnobs(std::string_view json) {
    return Ok(Call("POST", "/knobs", json));
}

// One fault rule (or a list of them) as JSON, e.g.
// {"host":"photo.weibo.com","path":"/photos/*","action":"status","status":503,"count":1}.
inline bool AddFault(std::string_view json) {
    return Ok(Call("POST", "/faults", json));
}

inline bool ClearFaults() {
    return Ok(Call("DELETE", "/faults"));
}

// The request log as raw JSON text; query such as "?host=photo.weibo.com" or "?path=/photos/".
inline std::string ReadLog(std::string_view query = {}) {
    Reply r = Call("GET", std::string("/log").append(query));
    return Ok(r) ? r.body : std::string();
}

inline bool ClearLog() {
    return Ok(Call("DELETE", "/log"));
}

// A signed-in cookie text ("SUB=...; SUBP=...") without the QR login; empty on failure.
inline std::string IssueSession() {
    Reply r = Call("POST", "/session");
    const std::string key = "\"cookie\":\"";
    size_t start = r.body.find(key);
    if (!Ok(r) || start == std::string::npos) return std::string();
    start += key.size();
    size_t end = r.body.find('"', start);
    return end == std::string::npos ? std::string() : r.body.substr(start, end - start);
}

}  // namespace standin
