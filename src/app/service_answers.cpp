#include "app/service_answers.h"

#include "text/text_helpers.h"
#include "web/endpoints.h"
#include "web/web_session.h"

Text PageVariable(const Text& page, const char* name) {
    return TextBetween(page, JoinTexts("$CONFIG['", name, "']='"), "';");
}

Text UnwrapCallback(const Text& answer) {
    // The JSON may itself hold parentheses (the service's addresses do), so the wrapper ends at
    // the last ")", not the first.
    const int open = FindText(answer, "(");
    const size_t close = answer.rfind(')');
    if (open < 1 || close == Text::npos || close < static_cast<size_t>(open)) return Text();
    return answer.substr(open, close - open);
}

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
