// Random pages and callback answers through the readers of the service's answers. The input is
// split at its first NUL byte: a page-variable name before it, the page or answer after it.
// Whatever they find is cut out of the input, between the markers that enclose it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/service/service_answers.h"
#include "text/text_helpers.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Text input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const Text name = input.substr(0, split);
    const Text page = split == Text::npos ? input : input.substr(split + 1);

    const Text value = PageVariable(page, name.c_str());
    if (!value.empty()) {
        const Text left = JoinTexts("$CONFIG['", name, "']='");
        const int at = FindText(page, left);
        Check(at >= 1);
        Check(page.compare(static_cast<size_t>(at - 1) + left.size(), value.size(), value) == 0);
        Check(page.compare(static_cast<size_t>(at - 1) + left.size() + value.size(), 2, "';") == 0);
        Check(FindText(value, "';") == -1);  // the first end marker after the name ends it
    }

    const Text json = UnwrapCallback(page);
    if (!json.empty()) {
        const int open = FindText(page, "(");
        Check(open >= 1 && page.compare(static_cast<size_t>(open), json.size(), json) == 0);
        Check(page.rfind(')') == static_cast<size_t>(open) + json.size());  // the last ")"
    }
    return 0;
}
