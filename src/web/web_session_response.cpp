// Reading the answer: its body, status and headers.
#include "web/web_session.h"

#include <algorithm>
#include <new>

#include "text/text_helpers.h"
#include "web/http_text.h"

ByteBuffer WebSession::GetBody() {
    if (!request_ || contentLength_ == 0) return ByteBuffer();
    if (bodyState_ == BodyState::NotRead) ReadBody();
    return bodyState_ == BodyState::Complete ? body_ : ByteBuffer();
}

void WebSession::DropBody(DWORD error) {
    lastError_ = NetworkError(error);
    ByteBuffer().swap(body_);
    bodyState_ = BodyState::Broken;
}

void WebSession::ReadBody() {
    const size_t expected = contentLength_ > 0 ? static_cast<size_t>(contentLength_) : 0;
    // An announced length over the limit is refused before a byte is read or a buffer made.
    if (maxBodySize_ > 0 && expected > maxBodySize_) return DropBody(kBodyTooLarge);
    size_t capacity = expected == 0 ? kInitialBodyBuffer : std::min(expected, kLargeBodyStep);
    size_t total = 0;
    try {
        body_.resize(capacity);
        for (;;) {
            DWORD available = 0;
            if (!WinHttpQueryDataAvailable(request_.Get(), &available)) {
                return DropBody(GetLastError());
            }
            if (available == 0) break;
            const size_t needed = total + available;
            if (needed > capacity) {
                if (expected == 0 || expected < needed) {
                    capacity = needed + kBodyStep;
                } else if (expected - needed > kLargeBodyStep) {
                    capacity = needed + kLargeBodyStep;
                } else {
                    capacity = expected;
                }
                body_.resize(capacity);
            }
            DWORD read = 0;
            if (!WinHttpReadData(request_.Get(), body_.data() + total,
                                 static_cast<DWORD>(capacity - total), &read)) {
                return DropBody(GetLastError());
            }
            if (read == 0) break;
            total += read;
            // A body without a length is stopped at the limit as it streams in.
            if (maxBodySize_ > 0 && total > maxBodySize_) return DropBody(kBodyTooLarge);
        }
    } catch (const std::bad_alloc&) {
        return DropBody(ERROR_NOT_ENOUGH_MEMORY);
    }
    // Fewer bytes than announced is a transfer that broke off, not a shorter body.
    if (expected > 0 && total < expected) return DropBody(ERROR_WINHTTP_CONNECTION_ERROR);
    body_.resize(total);
    bodyState_ = BodyState::Complete;
}

Text WebSession::GetBodyText() {
    return GetBody();
}

Text WebSession::GetBodyTextFromUtf8() {
    const ByteBuffer body = GetBody();
    if (body.empty()) return Text();
    return Utf8ToAnsi(body);
}

Text WebSession::QueryHeaderText(DWORD query) const {
    if (!request_) return Text();
    DWORD size = 0;
    WinHttpQueryHeaders(request_.Get(), query, WINHTTP_HEADER_NAME_BY_INDEX,
                        WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return Text();
    WideText wide(size / sizeof(wchar_t) + 1, u'\0');
    if (!WinHttpQueryHeaders(request_.Get(), query, WINHTTP_HEADER_NAME_BY_INDEX, WinStr(wide),
                             &size, WINHTTP_NO_HEADER_INDEX)) {
        return Text();
    }
    wide.resize(size / sizeof(wchar_t));
    return WideToAnsi(wide);
}

int WebSession::GetStatusCode() const {
    if (!request_ || contentLength_ == 0) return 0;
    const Text code = QueryHeaderText(WINHTTP_QUERY_STATUS_CODE);
    int n = 0;
    for (char c : code) {
        if (c < '0' || c > '9' || n > 99999) break;
        n = n * 10 + (c - '0');
    }
    return n;
}

Text WebSession::GetStatusText() const {
    if (!request_ || contentLength_ == 0) return Text();
    return QueryHeaderText(WINHTTP_QUERY_STATUS_TEXT);
}

Text WebSession::GetResponseHeader(const Text& name) const {
    if (responseHeaders_.empty() || name.empty()) return Text();
    return HeaderValue(responseHeaders_, name);
}

Text WebSession::GetSetCookies() const {
    return SetCookiesFromHeaders(responseHeaders_);
}

Text WebSession::GetSetCookie(const Text& name) const {
    return SetCookieFromHeaders(responseHeaders_, name);
}
