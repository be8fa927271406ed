#pragma once
// The GETs the flows make: pages and answers with the login cookies where they may go, and
// pictures without them.
#include "text/text_types.h"

// GET url as text (decoded from UTF-8 when asked), with the login cookies only when the address
// may carry them (https, a service host). Empty on failure.
Text GetWithLoginCookies(const Text& url, const Text& cookies, bool fromUtf8);

// The body bytes of a GET without cookies (pictures); empty on failure.
ByteBuffer FetchBytes(const Text& address);
