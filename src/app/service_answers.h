#pragma once
// Reading the service's answers: page variables of HTML pages and script-callback wrappers.
// Plain text work with no platform calls, so it also builds natively.
#include "text/text_types.h"

// The value of $CONFIG['name']='...'; in a page, or empty.
Text PageVariable(const Text& page, const char* name);

// The JSON inside a script-callback answer such as STK_1({...}); empty when there is none.
Text UnwrapCallback(const Text& answer);
