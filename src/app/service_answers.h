#pragma once
// Reading the service's answers: page variables of HTML pages, script-callback wrappers, and
// the GET that carries the login cookies where they may go.
#include "text/text_types.h"

// The value of $CONFIG['name']='...'; in a page, or empty.
Text PageVariable(const Text& page, const char* name);

// The JSON inside a script-callback answer such as STK_1({...}); empty when there is none.
Text UnwrapCallback(const Text& answer);

// GET url as text (decoded from UTF-8 when asked), with the login cookies only when the address
// may carry them (https, a service host). Empty on failure.
Text GetWithLoginCookies(const Text& url, const Text& cookies, bool fromUtf8);

// The body bytes of a GET without cookies (pictures); empty on failure.
ByteBuffer FetchBytes(const Text& address);
