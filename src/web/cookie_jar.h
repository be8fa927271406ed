#pragma once
// The engine's own cookie text and the scanning of "Set-Cookie:" response headers.
//
// Plain C++ with no platform calls, so the native sanitizer build and the fuzzer cover it.
// The jar is a code-page-936 byte string "; " + ("name=value; ")*: the leading "; " lets the
// first entry be found by the same "; name=" search as every other one. Names and values are
// kept exactly as received; attributes (path, expiry, domain) are dropped because an entry
// stops at the first ";".
#include <vector>

#include "text/text_types.h"

// True when an item (name=value) ends with "=deleted", "=DELETED" or "=Deleted".
bool IsDeletionMarked(const Text& item);

// Removes leading ASCII blanks and double-byte ideographic blanks (0xA1 0xA1 in code page 936).
Text TrimLeadingBlanks(const Text& text);
// Removes leading and trailing blanks of both kinds.
Text TrimBlanks(const Text& text);

// True when the text holds CR, LF or NUL. In a request header any of them would end the header
// early or start one of the sender's choosing, so no cookie text that could reach a header may
// hold one.
bool HasHeaderBreak(const Text& text);

// ASCII-only case-insensitive search; returns the 0-based offset or Text::npos.
size_t FindNoCase(const Text& haystack, const Text& needle, size_t from = 0);

// The "Set-Cookie:" items of raw CRLF-separated response headers, in order of arrival: each the
// text after the colon up to the first ";" or CRLF, leading blanks removed. A header that is
// not followed by a CRLF ends the scan (the raw header block always ends in CRLF CRLF). An item
// holding a lone CR, LF or NUL is left out.
std::vector<Text> SetCookieItems(const Text& responseHeaders);

// The cookies of a response as one cookie string ('A=1; C='), deletions left out.
Text SetCookiesFromHeaders(const Text& responseHeaders);

// The value of one cookie set by a response, or empty (also when it holds CR, LF or NUL).
Text SetCookieFromHeaders(const Text& responseHeaders, const Text& name);

class CookieJar {
  public:
    CookieJar() = default;

    // The framed text ("; A=1; B=2; ") and its byte length.
    const Text& Raw() const { return text_; }
    int Length() const { return static_cast<int>(text_.size()); }

    // Back to the empty jar "; ".
    void Clear() { text_ = "; "; }

    // Folds every "Set-Cookie:" of a response into the jar. Returns whether the jar changed.
    bool MergeSetCookies(const Text& responseHeaders, bool skipEmpty);

    // Adds or replaces the entries of a cookie string ('A=1; B=2'). Returns whether the jar
    // changed; an empty string, or one holding CR, LF or NUL, gives false and changes nothing.
    bool AddCookies(const Text& cookieString);

    // Removes the named cookies ('A; B=x' removes A and B). Returns whether any was removed.
    bool RemoveCookies(const Text& cookieString);

    // The entries without the frame: 'A=1; B=2' ("" for the empty jar).
    Text CookieText() const;

    // Makes a (normalised) copy of the text the jar and returns the argument as given. A text
    // holding CR, LF or NUL is refused: the jar stays as it was and the result is empty.
    Text CookieText(const Text& newText);

    // The value of a cookie ('2'), or with its name ('B=2'); empty when absent.
    Text GetCookie(const Text& name, bool withName = false) const;

  private:
    Text text_ = "; ";
};
