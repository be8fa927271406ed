#include "app/service_fetch.h"

#include "web/endpoints.h"
#include "web/web_session.h"

Text GetWithLoginCookies(const Text& url, const Text& cookies, bool fromUtf8) {
    WebSession web;
    if (!web.Open("GET", url)) return Text();
    if (MayCarryLoginCookies(web.CurrentUrl())) web.SetCookie(cookies);
    if (!web.Send()) return Text();
    return fromUtf8 ? web.GetBodyTextFromUtf8() : web.GetBodyText();
}

ByteBuffer FetchBytes(const Text& address) {
    WebSession web;
    if (!web.Open("GET", address) || !web.Send()) return ByteBuffer();
    return web.GetBody();
}
