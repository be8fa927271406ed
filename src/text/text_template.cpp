#include "text/text_template.h"

#include "text/text_helpers.h"

Text FillText(std::string_view tpl, std::initializer_list<TextField> fields) {
    Text out;
    out.reserve(tpl.size() + 16);
    size_t at = 0;
    while (at < tpl.size()) {
        const size_t width = CharBytes936(tpl, at);
        if (width == 1 && tpl[at] == '{') {
            const size_t close = tpl.find('}', at + 1);
            if (close != std::string_view::npos) {
                const std::string_view name = tpl.substr(at + 1, close - at - 1);
                const TextField* field = nullptr;
                for (const TextField& f : fields) {
                    if (f.name == name) field = &f;
                }
                if (field != nullptr) {
                    out += field->value;
                    at = close + 1;
                    continue;
                }
            }
        }
        out.append(tpl.substr(at, width));
        at += width;
    }
    return out;
}
