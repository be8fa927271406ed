#include "app/service_answers.h"

#include "text/text_helpers.h"

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
