// Feeds arbitrary bytes to the JSON reader, then queries and writes whatever came out. Any crash,
// sanitizer report or unbounded recursion is a finding.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <string>
#include <string_view>

#include "text/json_document.h"
#include "text/text_helpers.h"

namespace {

// Independent of the reader's own check: decoding to UTF-16 and back gives the same bytes only
// for well-formed UTF-8.
bool IsWellFormedUtf8(std::string_view bytes) {
    return WideToUtf8(Utf8ToWide(bytes)) == bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the options so both decode modes and all three entry points get covered.
    const uint8_t mode = data[0];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    JsonDocument doc;
    const bool decode = (mode & 1) != 0;
    bool parsed;
    if (mode & 8) {
        parsed = doc.ParseAnswer(text, decode);
        // Well-formed UTF-8 is read straight from its bytes; the same text as UTF-16 must give
        // the same outcome and the same tree.
        const std::string_view upToZero(text.data(), std::min(text.size(), text.find('\0')));
        JsonDocument wide;
        if (IsWellFormedUtf8(upToZero)) {
            const bool wideParsed = wide.ParseWide(Utf8ToWide(upToZero), decode);
            if (wideParsed != parsed || wide.LastParseError() != doc.LastParseError()) {
                __builtin_trap();
            }
            if (wide.ToTextBytes() != doc.ToTextBytes()) __builtin_trap();
        }
    } else if (mode & 2) {
        std::u16string wide;
        for (size_t i = 0; i + 1 < text.size(); i += 2) {
            wide.push_back(static_cast<char16_t>(static_cast<uint8_t>(text[i]) |
                                                 (static_cast<uint8_t>(text[i + 1]) << 8)));
        }
        parsed = doc.ParseWide(wide, decode);
    } else {
        parsed = doc.Parse(text, decode);
    }
    if (!parsed && doc.LastParseError() == 0) __builtin_trap();
    // Whatever parsed is written back as text that parses again.
    const Text written = doc.ToText("", (mode & 4) != 0);
    if (parsed) {
        JsonDocument again;
        if (!again.Parse(written, decode)) __builtin_trap();
    }
    (void)doc.KindOf("data");
    (void)doc.CountOf("data.album_list");
    (void)doc.GetText("data.album_list.[0].caption");
    (void)doc.GetInteger("retcode");
    (void)doc.GetReal("[1]");
    (void)doc.GetNumberText("data.total");
    (void)doc.PathExists("data.list.[2]");
    // The download run's reads of a photo-list page.
    const int photos = doc.CountOf("data.photo_list");
    for (int i = 0; i < photos && i < 64; ++i) {
        const Text photo = "data.photo_list.[" + std::to_string(i) + "].";
        (void)doc.GetText(photo + "caption_render");
        (void)doc.GetText(photo + "pic_name");
        (void)doc.GetInteger(photo + "timestamp");
        JsonDocument node = doc.GetElementNode("data.photo_list", i);
        (void)node.GetText("pic_host");
    }
    // The input also serves as a path, through whatever it names.
    if (text.size() < 64) {
        (void)doc.GetText(text);
        (void)doc.PathExists(text);
    }
    JsonDocument part = doc.GetNode("data");
    (void)doc.AppendElement("copies", part);
    // A node never takes itself in.
    if (doc.SetMember("data.x", "loop", doc)) __builtin_trap();
    (void)doc.ToText("", true);
    return 0;
}
