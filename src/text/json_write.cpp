// Writing a node back as JSON text, and the spelling of numbers.
#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

#include "text/json_tree.h"

namespace {

WideText AsciiUnits(std::string_view s) {
    return WideText(s.begin(), s.end());
}

const char16_t* EscapeOf(char16_t u) {
    switch (u) {
        case u'\\':
            return u"\\\\";
        case u'"':
            return u"\\\"";
        case u'/':
            return u"\\/";
        case 0x08:
            return u"\\b";
        case 0x09:
            return u"\\t";
        case 0x0A:
            return u"\\n";
        case 0x0D:
            return u"\\r";
        case 0x0C:
            return u"\\f";
        // A zero unit would end the text when it is converted to code page 936.
        case 0x00:
            return u"\\u0000";
        default:
            return nullptr;
    }
}

void AppendEscaped(WideText& out, std::u16string_view s) {
    for (char16_t u : s) {
        if (const char16_t* escape = EscapeOf(u)) {
            out += escape;
        } else {
            out.push_back(u);
        }
    }
}

void AppendTabs(WideText& out, int count) {
    out.append(static_cast<size_t>(std::max(count, 0)), u'\t');
}

// Writes the node iteratively: containers wait on a stack with the index of their next child.
class Writer {
  public:
    Writer(bool indent, WideText& out) : indent_(indent), out_(out) {}

    void Write(const JsonNode* top) {
        Begin(top);
        while (!frames_.empty()) {
            const JsonNode* n = frames_.back().node;
            const size_t k = frames_.back().next;
            if (n->kind == JsonArray) {
                NextElement(n, k);
            } else {
                NextMember(n, k);
            }
        }
    }

  private:
    struct Frame {
        const JsonNode* node;
        size_t next;
    };

    void Begin(const JsonNode* n) {
        switch (n->kind) {
            case JsonNull:
                out_ += u"null";
                break;
            case JsonBoolean:
                out_ += n->boolean ? u"true" : u"false";
                break;
            case JsonInteger:
                out_ += JsonIntegerText(n->integer);
                break;
            case JsonReal:
                out_ += JsonRealText(n->real);
                break;
            case JsonRaw:
                out_ += n->chars.View();
                break;
            case JsonString:
                out_.push_back(u'"');
                AppendEscaped(out_, n->chars.View());
                out_.push_back(u'"');
                break;
            case JsonArray:
            case JsonObject:
                out_.push_back(n->kind == JsonArray ? u'[' : u'{');
                if (indent_ && n->kind == JsonObject) out_ += u"\r\n";
                ++depth_;
                frames_.push_back({n, 0});
                break;
            default:
                break;
        }
    }

    void NextElement(const JsonNode* n, size_t k) {
        if (k < n->body->elements.size()) {
            frames_.back().next = k + 1;
            if (k > 0) out_.push_back(u',');
            Begin(n->body->elements[k]);
            return;
        }
        out_.push_back(u']');
        --depth_;
        frames_.pop_back();
    }

    void NextMember(const JsonNode* n, size_t k) {
        const auto& members = n->body->members;
        if (k < members.size()) {
            frames_.back().next = k + 1;
            if (k > 0) {
                out_.push_back(u',');
                if (indent_) out_ += u"\r\n";
            }
            if (indent_) AppendTabs(out_, depth_);
            out_.push_back(u'"');
            AppendEscaped(out_, members[k].name.View());
            out_ += u"\":";
            Begin(members[k].node);
            return;
        }
        if (indent_ && !members.empty()) out_ += u"\r\n";
        --depth_;
        if (indent_ && depth_ >= 1) AppendTabs(out_, depth_);
        out_.push_back(u'}');
        frames_.pop_back();
    }

    bool indent_;
    WideText& out_;
    std::vector<Frame> frames_;
    int depth_ = 0;
};

}  // namespace

WideText JsonRealText(double r) {
    if (!std::isfinite(r)) return u"null";
    char buffer[64];
    const auto res = std::to_chars(buffer, buffer + sizeof buffer, r);
    return AsciiUnits(std::string_view(buffer, static_cast<size_t>(res.ptr - buffer)));
}

WideText JsonIntegerText(int64_t v) {
    char buffer[32];
    const auto res = std::to_chars(buffer, buffer + sizeof buffer, v);
    return AsciiUnits(std::string_view(buffer, static_cast<size_t>(res.ptr - buffer)));
}

int64_t JsonTruncateReal(double r) {
    if (std::isnan(r)) return 0;
    if (r >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
    if (r < -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(r);
}

ByteBuffer JsonUnitsAsBytes(std::u16string_view units, bool withZero) {
    ByteBuffer out;
    out.reserve(units.size() * 2 + 2);
    for (char16_t u : units) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    }
    if (withZero) out.append(2, '\0');
    return out;
}

Text JsonDocument::ToText(const JsonPath& path, bool indent) {
    JsonNode* n = Resolve(path);
    if (!n) return Text();
    WideText out;
    Writer(indent, out).Write(n);
    return JsonNarrow(out);
}

ByteBuffer JsonDocument::ToTextBytes(const JsonPath& path, bool indent) {
    JsonNode* n = Resolve(path);
    if (!n) return ByteBuffer();
    WideText out;
    Writer(indent, out).Write(n);
    return JsonUnitsAsBytes(out, false);
}
