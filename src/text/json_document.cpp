#include "text/json_document.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <unordered_set>
#include <vector>

#include "text/text_helpers.h"

// Nodes live on the ordinary C++ heap. Nothing here recurses: releasing, writing and searching a
// tree use explicit stacks, so a tree of any depth (paths can build deep ones) is safe.

struct JsonMember {
    uint32_t hash = 0;
    WideText name;
    JsonNode* node = nullptr;
    JsonMember* next = nullptr;  // same bucket
};

struct JsonMap {
    std::vector<JsonMember*> buckets = std::vector<JsonMember*>(11, nullptr);
    std::vector<std::unique_ptr<JsonMember>> order;  // insertion order; owns the entries
};

struct JsonNode {
    int refs = 1;
    int kind = JsonNull;
    int64_t integer = 0;
    double real = 0;
    bool boolean = false;
    WideText text;    // a string's value
    WideText source;  // a number's or raw literal's text as written
    std::vector<JsonNode*> elements;
    std::unique_ptr<JsonMap> members;
};

namespace {

// An index this far past the end of an array names nothing instead of growing the array to it:
// a path from outside must not be able to make us allocate without bound.
constexpr int64_t kMaxGrowIndex = 1 << 16;

JsonNode* NewNode(int kind) {
    auto* n = new JsonNode;
    n->kind = kind;
    if (kind == JsonObject) n->members = std::make_unique<JsonMap>();
    return n;
}

// Moves every child of `n` to `pending` and leaves `n` without content.
void TakeChildren(JsonNode* n, std::vector<JsonNode*>& pending) {
    for (JsonNode* e : n->elements) pending.push_back(e);
    n->elements.clear();
    if (n->members) {
        for (auto& m : n->members->order) pending.push_back(m->node);
        n->members.reset();
    }
}

void ReleaseAll(std::vector<JsonNode*>& pending) {
    while (!pending.empty()) {
        JsonNode* n = pending.back();
        pending.pop_back();
        if (--n->refs > 0) continue;
        TakeChildren(n, pending);
        delete n;
    }
}

void Release(JsonNode* n) {
    if (!n) return;
    std::vector<JsonNode*> pending{n};
    ReleaseAll(pending);
}

// Gives `n` a new kind with empty content, releasing what it held.
void ResetNode(JsonNode* n, int kind) {
    std::vector<JsonNode*> pending;
    TakeChildren(n, pending);
    ReleaseAll(pending);
    n->kind = kind;
    n->integer = 0;
    n->real = 0;
    n->boolean = false;
    n->text.clear();
    n->source.clear();
    if (kind == JsonObject) n->members = std::make_unique<JsonMap>();
}

uint32_t HashName(std::u16string_view name) {
    uint32_t h = 0;
    for (char16_t u : name) h = h * 31u + u;
    return h;
}

size_t BucketOf(uint32_t hash, size_t buckets) {
    return (hash & 0x7FFFFFFFu) % buckets;
}

JsonMember* FindMember(const JsonMap& map, std::u16string_view name) {
    const uint32_t h = HashName(name);
    for (JsonMember* m = map.buckets[BucketOf(h, map.buckets.size())]; m; m = m->next) {
        if (m->hash == h && m->name == name) return m;
    }
    return nullptr;
}

void GrowMap(JsonMap& map) {
    const size_t count = map.buckets.size() * 2 + 1;
    std::vector<JsonMember*> fresh(count, nullptr);
    for (auto& m : map.order) {
        const size_t b = BucketOf(m->hash, count);
        m->next = fresh[b];
        fresh[b] = m.get();
    }
    map.buckets.swap(fresh);
}

// Makes `node` (whose reference the map takes over) the member `name`; a member of that name is
// replaced in place and released.
void SetMemberNode(JsonMap& map, std::u16string_view name, JsonNode* node) {
    if (JsonMember* old = FindMember(map, name)) {
        JsonNode* previous = old->node;
        old->node = node;
        Release(previous);
        return;
    }
    const size_t threshold = map.buckets.size() * 3 / 4;
    if (map.order.size() >= threshold) GrowMap(map);
    auto entry = std::make_unique<JsonMember>();
    entry->hash = HashName(name);
    entry->name.assign(name);
    entry->node = node;
    const size_t b = BucketOf(entry->hash, map.buckets.size());
    entry->next = map.buckets[b];
    map.buckets[b] = entry.get();
    map.order.push_back(std::move(entry));
}

bool RemoveMemberNode(JsonMap& map, std::u16string_view name) {
    const uint32_t h = HashName(name);
    JsonMember** link = &map.buckets[BucketOf(h, map.buckets.size())];
    while (*link && !((*link)->hash == h && (*link)->name == name)) link = &(*link)->next;
    if (!*link) return false;
    JsonMember* found = *link;
    *link = found->next;
    JsonNode* node = found->node;
    for (auto it = map.order.begin(); it != map.order.end(); ++it) {
        if (it->get() == found) {
            map.order.erase(it);
            break;
        }
    }
    Release(node);
    return true;
}

// True when `target` is `from` or lies somewhere below it.
bool Reaches(JsonNode* from, JsonNode* target) {
    std::vector<JsonNode*> todo{from};
    std::unordered_set<JsonNode*> seen;
    while (!todo.empty()) {
        JsonNode* n = todo.back();
        todo.pop_back();
        if (n == target) return true;
        if (!seen.insert(n).second) continue;
        for (JsonNode* e : n->elements) todo.push_back(e);
        if (n->members) {
            for (auto& m : n->members->order) todo.push_back(m->node);
        }
    }
    return false;
}

int HexDigit(char16_t u) {
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}

WideText DecodeEscapes(std::u16string_view s, bool decodeUnicode) {
    if (s.find(u'\\') == std::u16string_view::npos) return WideText(s);
    WideText out;
    out.reserve(s.size());
    const size_t n = s.size();
    size_t i = 0;
    while (i < n) {
        const char16_t c = s[i];
        if (c != u'\\' || i + 1 >= n) {
            out.push_back(c);
            ++i;
            continue;
        }
        const char16_t d = s[i + 1];
        char16_t unit = 0;
        switch (d) {
            case u'"':
                unit = u'"';
                break;
            case u'\\':
                unit = u'\\';
                break;
            case u'/':
                unit = u'/';
                break;
            case u'b':
                unit = 0x08;
                break;
            case u't':
                unit = 0x09;
                break;
            case u'n':
                unit = 0x0A;
                break;
            case u'r':
                unit = 0x0D;
                break;
            case u'f':
                unit = 0x0C;
                break;
            case u'u':
                if (decodeUnicode && i + 5 < n) {
                    const int h1 = HexDigit(s[i + 2]), h2 = HexDigit(s[i + 3]);
                    const int h3 = HexDigit(s[i + 4]), h4 = HexDigit(s[i + 5]);
                    if (h1 >= 0 && h2 >= 0 && h3 >= 0 && h4 >= 0) {
                        out.push_back(static_cast<char16_t>((h1 * 16 + h2) << 8 | (h3 * 16 + h4)));
                        i += 6;
                        continue;
                    }
                }
                break;
            default:
                break;
        }
        if (unit) {
            out.push_back(unit);
        } else {
            out.push_back(c);  // any other pair stays as written
            out.push_back(d);
        }
        i += 2;
    }
    return out;
}

bool IsDigit(char16_t u) {
    return u >= '0' && u <= '9';
}

bool MatchesNumberRule(std::u16string_view t, bool& real) {
    if (t.empty()) return false;
    const char16_t first = t[0];
    if (!(IsDigit(first) || first == '+' || first == '-' || first == '.')) return false;
    real = first == '.';
    int dots = 0, exps = 0, signs = 0;
    for (size_t k = 1; k < t.size(); ++k) {
        const char16_t u = t[k];
        if (IsDigit(u)) continue;
        if (u == '.') {
            if (++dots > 1) return false;
        } else if (u == 'e' || u == 'E') {
            if (++exps > 1) return false;
        } else if (u == '+' || u == '-') {
            if (++signs > 1) return false;
        } else {
            return false;
        }
        real = true;
    }
    return true;
}

// Decimal digits after an optional sign, exact in 64 bits and clamped at its limits (a value
// outside the range must not wrap around or become undefined).
int64_t ToInteger(std::u16string_view t) {
    size_t k = 0;
    while (k < t.size() && t[k] <= 32) ++k;
    bool negative = false;
    if (k < t.size() && (t[k] == '+' || t[k] == '-')) negative = t[k++] == '-';
    const uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + 1;
    uint64_t magnitude = 0;
    for (; k < t.size() && IsDigit(t[k]); ++k) {
        const unsigned digit = t[k] - '0';
        magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
    }
    if (negative) {
        return magnitude >= limit ? std::numeric_limits<int64_t>::min()
                                  : -static_cast<int64_t>(magnitude);
    }
    return magnitude >= limit ? std::numeric_limits<int64_t>::max()
                              : static_cast<int64_t>(magnitude);
}

double ToReal(std::u16string_view t) {
    size_t k = 0;
    bool negative = false;
    if (k < t.size() && (t[k] == '+' || t[k] == '-')) negative = t[k++] == '-';
    std::string ascii;
    ascii.reserve(t.size() - k);
    for (; k < t.size() && t[k] < 128; ++k) ascii.push_back(static_cast<char>(t[k]));
    double value = 0;
    const auto r = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value,
                                   std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        const size_t e = ascii.find_first_of("eE");
        const bool tiny = e != std::string::npos && e + 1 < ascii.size() && ascii[e + 1] == '-';
        value = tiny ? 0.0 : HUGE_VAL;
    } else if (r.ec != std::errc()) {
        value = 0;
    }
    return negative ? -value : value;
}

int64_t TruncateReal(double r) {
    if (std::isnan(r)) return 0;
    if (r >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
    if (r < -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(r);
}

WideText AsciiUnits(std::string_view s) {
    return WideText(s.begin(), s.end());
}

WideText RealText(double r) {
    if (!std::isfinite(r)) return u"null";
    char buffer[64];
    const auto res = std::to_chars(buffer, buffer + sizeof buffer, r);
    return AsciiUnits(std::string_view(buffer, static_cast<size_t>(res.ptr - buffer)));
}

WideText IntegerText(int64_t v) {
    char buffer[32];
    const auto res = std::to_chars(buffer, buffer + sizeof buffer, v);
    return AsciiUnits(std::string_view(buffer, static_cast<size_t>(res.ptr - buffer)));
}

// A value's literal text with all blanks removed, classified.
JsonNode* LiteralNode(std::u16string_view raw) {
    WideText t;
    t.reserve(raw.size());
    for (char16_t u : raw) {
        if (u != '\r' && u != '\n' && u != '\t' && u != ' ') t.push_back(u);
    }
    if (t == u"null") return NewNode(JsonNull);
    if (t == u"true" || t == u"false") {
        JsonNode* n = NewNode(JsonBoolean);
        n->boolean = t == u"true";
        return n;
    }
    bool real = false;
    JsonNode* n;
    if (MatchesNumberRule(t, real)) {
        n = NewNode(real ? JsonReal : JsonInteger);
        if (real) {
            n->real = ToReal(t);
        } else {
            n->integer = ToInteger(t);
        }
    } else {
        n = NewNode(JsonRaw);
    }
    n->source = std::move(t);
    return n;
}

bool IsBlank(std::u16string_view s) {
    for (char16_t u : s) {
        if (u > 32) return false;
    }
    return true;
}

// The single pass over the input. Returns 0 or a negative error code.
int ParseInto(JsonNode* root, std::u16string_view s, bool decodeUnicode) {
    std::vector<JsonNode*> open;  // the open containers, innermost last
    char16_t quote = 0;
    size_t stringStart = 0;
    bool haveKey = false;
    size_t keyStart = 0, keyLength = 0;
    bool haveQuoted = false;
    size_t quotedStart = 0, quotedLength = 0;
    size_t rawStart = 0;
    bool colonSeen = false;
    bool closedContainer = false;  // the current value was a container, now closed
    bool justOpened = false;       // nothing but blanks since the container opened

    auto startValue = [&](size_t at) {
        haveKey = false;
        haveQuoted = false;
        colonSeen = false;
        closedContainer = false;
        rawStart = at;
    };
    auto store = [&](JsonNode* container, size_t end) -> int {
        JsonNode* value;
        if (haveQuoted) {
            value = NewNode(JsonString);
            value->text = DecodeEscapes(s.substr(quotedStart, quotedLength), decodeUnicode);
        } else {
            const std::u16string_view raw = s.substr(rawStart, end - rawStart);
            if (container->kind == JsonArray && IsBlank(raw)) return 0;
            value = LiteralNode(raw);
        }
        if (container->kind == JsonArray) {
            container->elements.push_back(value);
            return 0;
        }
        if (!haveKey) {
            Release(value);
            return JsonParseValueWithoutKey;
        }
        SetMemberNode(*container->members,
                      DecodeEscapes(s.substr(keyStart, keyLength), decodeUnicode), value);
        return 0;
    };

    const size_t n = s.size();
    for (size_t i = 0; i < n; ++i) {
        const char16_t c = s[i];
        if (quote) {
            if (c == u'\\' && i + 1 < n &&
                (s[i + 1] == u'"' || s[i + 1] == u'\'' || s[i + 1] == u'\\')) {
                ++i;
                continue;
            }
            if (c != quote) continue;
            quote = 0;
            if (!open.empty() && open.back()->kind == JsonObject && !colonSeen) {
                haveKey = true;
                keyStart = stringStart;
                keyLength = i - stringStart;
            } else {
                haveQuoted = true;
                quotedStart = stringStart;
                quotedLength = i - stringStart;
            }
            rawStart = i + 1;
            justOpened = false;
            continue;
        }
        switch (c) {
            case u'"':
            case u'\'':
                quote = c;
                stringStart = i + 1;
                break;
            case u'{':
            case u'[': {
                const int kind = c == u'{' ? JsonObject : JsonArray;
                if (open.size() >= static_cast<size_t>(kJsonMaxDepth)) return JsonParseStructure;
                JsonNode* node;
                if (open.empty()) {
                    ResetNode(root, kind);
                    node = root;
                } else if (open.back()->kind == JsonArray) {
                    node = NewNode(kind);
                    open.back()->elements.push_back(node);
                } else {
                    if (!haveKey) return JsonParseValueWithoutKey;
                    node = NewNode(kind);
                    SetMemberNode(*open.back()->members,
                                  DecodeEscapes(s.substr(keyStart, keyLength), decodeUnicode),
                                  node);
                }
                open.push_back(node);
                startValue(i + 1);
                justOpened = true;
                break;
            }
            case u':':
                if (open.empty()) return JsonParseStructure;
                if (open.back()->kind == JsonArray) return JsonParseColonInArray;
                colonSeen = true;
                rawStart = i + 1;
                justOpened = false;
                break;
            case u',':
                if (open.empty()) return JsonParseStructure;
                if (!closedContainer) {
                    if (const int r = store(open.back(), i)) return r;
                }
                startValue(i + 1);
                justOpened = false;
                break;
            case u']':
            case u'}': {
                if (open.empty()) return JsonParseStructure;
                if (!closedContainer) {
                    const bool blank =
                        !haveQuoted && !haveKey && IsBlank(s.substr(rawStart, i - rawStart));
                    if (blank && justOpened) {
                        // an empty container
                    } else if (blank && c == u']') {
                        return JsonParseEmptyElement;
                    } else if (const int r = store(open.back(), i)) {
                        return r;
                    }
                }
                open.pop_back();
                startValue(i + 1);
                closedContainer = true;
                justOpened = false;
                break;
            }
            default:
                if (c > 32) justOpened = false;
                break;
        }
    }
    return open.empty() ? JsonParseOk : JsonParseStructure;
}

// Index text of a path segment, read like the platform's StrToIntW: blanks, an optional sign,
// decimal digits; anything else counts 0. Clamped instead of wrapping.
int64_t SegmentIndex(std::u16string_view t) {
    size_t k = 0;
    while (k < t.size() && (t[k] == ' ' || t[k] == '\t')) ++k;
    bool negative = false;
    if (k < t.size() && (t[k] == '+' || t[k] == '-')) negative = t[k++] == '-';
    int64_t v = 0;
    for (; k < t.size() && IsDigit(t[k]); ++k) {
        v = std::min<int64_t>(v * 10 + (t[k] - '0'), INT_MAX);
    }
    return negative ? -v : v;
}

struct Segment {
    std::u16string_view name;
    bool hasName = false;
    bool hasIndex = false;
    int64_t index = 0;
};

// Splits the segment that starts at `pos`; moves `pos` past it (and its dot).
Segment NextSegment(std::u16string_view path, size_t& pos, bool& more) {
    size_t dot = path.find(u'.', pos);
    if (dot == std::u16string_view::npos) dot = path.size();
    const std::u16string_view seg = path.substr(pos, dot - pos);
    more = dot < path.size();
    pos = dot + 1;
    Segment out;
    const size_t open = seg.find(u'[');
    if (open == std::u16string_view::npos) {
        out.name = seg;
        out.hasName = true;  // possibly the empty name
        return out;
    }
    out.name = seg.substr(0, open);
    out.hasName = open > 0;
    out.hasIndex = true;
    size_t close = seg.find(u']', open + 1);
    if (close == std::u16string_view::npos) close = seg.size();
    out.index = SegmentIndex(seg.substr(open + 1, close - open - 1));
    return out;
}

JsonNode* MemberStep(JsonNode* cur, std::u16string_view name) {
    if (cur->kind != JsonObject) ResetNode(cur, JsonObject);
    if (JsonMember* m = FindMember(*cur->members, name)) return m->node;
    JsonNode* fresh = NewNode(JsonNull);
    SetMemberNode(*cur->members, name, fresh);
    return fresh;
}

JsonNode* IndexStep(JsonNode* cur, int64_t index) {
    if (cur->kind != JsonArray) ResetNode(cur, JsonArray);
    if (index < 0) return nullptr;
    const auto count = static_cast<int64_t>(cur->elements.size());
    if (index >= count) {
        if (index >= kMaxGrowIndex) return nullptr;
        while (static_cast<int64_t>(cur->elements.size()) <= index) {
            cur->elements.push_back(NewNode(JsonNull));
        }
    }
    return cur->elements[static_cast<size_t>(index)];
}

void AppendEscaped(WideText& out, std::u16string_view s) {
    for (char16_t u : s) {
        switch (u) {
            case u'\\':
                out += u"\\\\";
                break;
            case u'"':
                out += u"\\\"";
                break;
            case u'/':
                out += u"\\/";
                break;
            case 0x08:
                out += u"\\b";
                break;
            case 0x09:
                out += u"\\t";
                break;
            case 0x0A:
                out += u"\\n";
                break;
            case 0x0D:
                out += u"\\r";
                break;
            case 0x0C:
                out += u"\\f";
                break;
            // A zero unit would end the text when it is converted to code page 936.
            case 0x00:
                out += u"\\u0000";
                break;
            default:
                out.push_back(u);
                break;
        }
    }
}

void AppendTabs(WideText& out, int count) {
    for (int k = 0; k < count; ++k) out.push_back(u'\t');
}

void WriteNode(JsonNode* top, bool indent, WideText& out) {
    struct Frame {
        JsonNode* node;
        size_t next;
    };
    std::vector<Frame> frames;
    int depth = 0;
    auto begin = [&](JsonNode* n) {
        switch (n->kind) {
            case JsonNull:
                out += u"null";
                break;
            case JsonBoolean:
                out += n->boolean ? u"true" : u"false";
                break;
            case JsonInteger:
                out += IntegerText(n->integer);
                break;
            case JsonReal:
                out += RealText(n->real);
                break;
            case JsonRaw:
                out += n->source;
                break;
            case JsonString:
                out.push_back(u'"');
                AppendEscaped(out, n->text);
                out.push_back(u'"');
                break;
            case JsonArray:
                out.push_back(u'[');
                ++depth;
                frames.push_back({n, 0});
                break;
            case JsonObject:
                out.push_back(u'{');
                if (indent) out += u"\r\n";
                ++depth;
                frames.push_back({n, 0});
                break;
            default:
                break;
        }
    };
    begin(top);
    while (!frames.empty()) {
        JsonNode* n = frames.back().node;
        const size_t k = frames.back().next;
        if (n->kind == JsonArray) {
            if (k < n->elements.size()) {
                frames.back().next = k + 1;
                if (k > 0) out.push_back(u',');
                begin(n->elements[k]);
                continue;
            }
            out.push_back(u']');
            --depth;
            frames.pop_back();
            continue;
        }
        const auto& order = n->members->order;
        if (k < order.size()) {
            frames.back().next = k + 1;
            if (k > 0) {
                out.push_back(u',');
                if (indent) out += u"\r\n";
            }
            if (indent) AppendTabs(out, depth);
            out.push_back(u'"');
            AppendEscaped(out, order[k]->name);
            out += u"\":";
            begin(order[k]->node);
            continue;
        }
        if (indent && !order.empty()) out += u"\r\n";
        --depth;
        if (indent && depth >= 1) AppendTabs(out, depth);
        out.push_back(u'}');
        frames.pop_back();
    }
}

ByteBuffer UnitsAsBytes(std::u16string_view units, bool withZero) {
    ByteBuffer out;
    out.reserve(units.size() * 2 + 2);
    for (char16_t u : units) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    }
    if (withZero) out.append(2, '\0');
    return out;
}

}  // namespace

// ---- JsonUnits ----

JsonUnits::JsonUnits(const char* ansi) : JsonUnits(Text(ansi ? ansi : "")) {}

JsonUnits::JsonUnits(const Text& ansi) : units_(AnsiToWide(ansi)) {
    valid_ = ansi.empty() || ansi[0] == '\0' || !units_.empty();
}

JsonUnits::JsonUnits(const char16_t* wide) : units_(wide ? wide : u"") {}

JsonUnits::JsonUnits(const WideText& wide) : units_(wide) {}

// ---- JsonDocument: life ----

JsonDocument::JsonDocument() = default;

JsonDocument::JsonDocument(JsonNode* adopted) : root_(adopted) {}

JsonDocument::~JsonDocument() {
    Release(root_);
}

JsonDocument::JsonDocument(const JsonDocument& other) : root_(other.root_) {
    if (root_) ++root_->refs;
}

JsonDocument& JsonDocument::operator=(const JsonDocument& other) {
    if (this != &other) {
        if (other.root_) ++other.root_->refs;
        Release(root_);
        root_ = other.root_;
        lastError_ = other.lastError_;
    }
    return *this;
}

JsonDocument::JsonDocument(JsonDocument&& other) noexcept
    : root_(other.root_), lastError_(other.lastError_) {
    other.root_ = nullptr;
}

JsonDocument& JsonDocument::operator=(JsonDocument&& other) noexcept {
    if (this != &other) {
        Release(root_);
        root_ = other.root_;
        lastError_ = other.lastError_;
        other.root_ = nullptr;
    }
    return *this;
}

// ---- parsing ----

bool JsonDocument::Parse(const Text& text, bool decodeUnicode) {
    const WideText wide = AnsiToWide(text);
    if (wide.empty() && !text.empty() && text[0] != '\0') {
        if (!root_) root_ = NewNode(JsonObject);
        ResetNode(root_, JsonObject);
        lastError_ = JsonParseNoText;
        return false;
    }
    return ParseWide(wide, decodeUnicode);
}

bool JsonDocument::ParseWide(std::u16string_view text, bool decodeUnicode) {
    lastError_ = JsonParseOk;
    // Like every text here, the input ends at its first zero unit.
    text = text.substr(0, text.find(u'\0'));
    int code = JsonParseOk;
    try {
        if (!root_) root_ = NewNode(JsonObject);
        if (text.empty()) return true;
        ResetNode(root_, JsonObject);
        code = ParseInto(root_, text, decodeUnicode);
    } catch (const std::bad_alloc&) {
        code = JsonParseNoMemory;
    }
    if (code == JsonParseOk) return true;
    if (root_) ResetNode(root_, JsonObject);
    lastError_ = code;
    return false;
}

// ---- path resolution ----

JsonNode* JsonDocument::Resolve(const JsonPath& path, JsonNode** parent) {
    if (parent) *parent = nullptr;
    if (!root_ || !path.Valid()) return nullptr;
    const std::u16string_view units = path.Units();
    JsonNode* cur = root_;
    if (units.empty()) return cur;
    size_t pos = 0;
    bool more = true;
    while (more) {
        const Segment seg = NextSegment(units, pos, more);
        if (seg.hasName) {
            if (parent) *parent = cur;
            cur = MemberStep(cur, seg.name);
        }
        if (seg.hasIndex) {
            if (parent) *parent = cur;
            cur = IndexStep(cur, seg.index);
            if (!cur) {
                if (parent) *parent = nullptr;
                return nullptr;
            }
        }
    }
    return cur;
}

bool JsonDocument::PathExists(const JsonPath& path) const {
    if (!root_ || !path.Valid() || path.Units().empty()) return false;
    const std::u16string_view units = path.Units();
    const JsonNode* cur = root_;
    size_t pos = 0;
    bool more = true;
    while (more) {
        const Segment seg = NextSegment(units, pos, more);
        if (seg.hasName) {
            if (cur->kind != JsonObject) return false;
            const JsonMember* m = FindMember(*cur->members, seg.name);
            if (!m) return false;
            cur = m->node;
        }
        if (seg.hasIndex) {
            if (cur->kind != JsonArray || seg.index < 0 ||
                seg.index >= static_cast<int64_t>(cur->elements.size())) {
                return false;
            }
            cur = cur->elements[static_cast<size_t>(seg.index)];
        }
    }
    return true;
}

// ---- reading ----

Text JsonDocument::GetText(const JsonPath& path) {
    const JsonNode* n = Resolve(path);
    return (n && n->kind == JsonString) ? WideToAnsi(n->text) : Text();
}

ByteBuffer JsonDocument::GetTextBytes(const JsonPath& path) {
    const JsonNode* n = Resolve(path);
    return (n && n->kind == JsonString) ? UnitsAsBytes(n->text, true) : ByteBuffer();
}

int64_t JsonDocument::GetInteger(const JsonPath& path) {
    const JsonNode* n = Resolve(path);
    if (!n) return 0;
    if (n->kind == JsonInteger) return n->integer;
    if (n->kind == JsonReal) return TruncateReal(n->real);
    return 0;
}

double JsonDocument::GetReal(const JsonPath& path) {
    const JsonNode* n = Resolve(path);
    if (!n) return 0;
    if (n->kind == JsonReal) return n->real;
    if (n->kind == JsonInteger) return static_cast<double>(n->integer);
    return 0;
}

bool JsonDocument::GetBoolean(const JsonPath& path) {
    const JsonNode* n = Resolve(path);
    return n && n->kind == JsonBoolean && n->boolean;
}

Text JsonDocument::GetNumberText(const JsonPath& path) {
    const JsonNode* n = Resolve(path);
    if (!n || (n->kind != JsonInteger && n->kind != JsonReal && n->kind != JsonRaw)) return Text();
    return WideToAnsi(n->source);
}

int JsonDocument::KindOf(const JsonPath& path) {
    const JsonNode* n = Resolve(path);
    return n ? n->kind : JsonRaw;
}

int JsonDocument::CountOf(const JsonPath& path) {
    const JsonNode* n = Resolve(path);
    if (!n) return 0;
    size_t count = 0;
    if (n->kind == JsonObject) count = n->members->order.size();
    if (n->kind == JsonArray) count = n->elements.size();
    return count > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(count);
}

bool JsonDocument::HasMember(const JsonPath& path, const JsonUnits& name) {
    const JsonNode* n = Resolve(path);
    return n && name.Valid() && n->kind == JsonObject && FindMember(*n->members, name.Units());
}

bool JsonDocument::HasIndex(const JsonPath& path, int index) {
    const JsonNode* n = Resolve(path);
    return n && n->kind == JsonArray && index >= 0 &&
           static_cast<size_t>(index) < n->elements.size();
}

// ---- changing ----

bool JsonDocument::RemoveMember(const JsonPath& path, const JsonUnits& name) {
    JsonNode* n = Resolve(path);
    if (!n || !name.Valid() || n->kind != JsonObject) return false;
    return RemoveMemberNode(*n->members, name.Units());
}

bool JsonDocument::RemoveElement(const JsonPath& path, int index) {
    JsonNode* n = Resolve(path);
    if (!n || n->kind != JsonArray || index < 0 ||
        static_cast<size_t>(index) >= n->elements.size()) {
        return false;
    }
    JsonNode* removed = n->elements[static_cast<size_t>(index)];
    n->elements.erase(n->elements.begin() + index);
    Release(removed);
    return true;
}

bool JsonDocument::SetMember(const JsonPath& path, const JsonUnits& name,
                             const JsonDocument& value) {
    if (!value.root_ || !name.Valid()) return false;
    JsonNode* n = Resolve(path);
    // A node that held itself would never be freed and could not be written out.
    if (!n || Reaches(value.root_, n)) return false;
    if (n->kind != JsonObject) ResetNode(n, JsonObject);
    ++value.root_->refs;
    SetMemberNode(*n->members, name.Units(), value.root_);
    return true;
}

bool JsonDocument::AppendElement(const JsonPath& path, const JsonDocument& value) {
    if (!value.root_) return false;
    JsonNode* n = Resolve(path);
    if (!n || Reaches(value.root_, n)) return false;
    if (n->kind != JsonArray) ResetNode(n, JsonArray);
    ++value.root_->refs;
    n->elements.push_back(value.root_);
    return true;
}

bool JsonDocument::InsertElement(const JsonPath& path, int index, const JsonDocument& value) {
    if (!value.root_ || index < 0) return false;
    JsonNode* n = Resolve(path);
    if (!n || Reaches(value.root_, n)) return false;
    if (n->kind != JsonArray) ResetNode(n, JsonArray);
    ++value.root_->refs;
    const size_t at = std::min(static_cast<size_t>(index), n->elements.size());
    n->elements.insert(n->elements.begin() + static_cast<std::ptrdiff_t>(at), value.root_);
    return true;
}

bool JsonDocument::SetString(const JsonPath& path, const JsonUnits& value) {
    if (!value.Valid()) return false;
    JsonNode* n = Resolve(path);
    if (!n) return false;
    ResetNode(n, JsonString);
    n->text = value.Units();
    return true;
}

bool JsonDocument::SetNull(const JsonPath& path) {
    JsonNode* n = Resolve(path);
    if (!n) return false;
    ResetNode(n, JsonNull);
    n->source = u"null";
    return true;
}

bool JsonDocument::SetBoolean(const JsonPath& path, bool value) {
    JsonNode* n = Resolve(path);
    if (!n) return false;
    ResetNode(n, JsonBoolean);
    n->boolean = value;
    n->source = value ? u"true" : u"false";
    return true;
}

bool JsonDocument::SetReal(const JsonPath& path, double value) {
    JsonNode* n = Resolve(path);
    if (!n) return false;
    ResetNode(n, JsonReal);
    n->real = value;
    n->source = RealText(value);
    return true;
}

bool JsonDocument::SetInteger(const JsonPath& path, int64_t value) {
    JsonNode* n = Resolve(path);
    if (!n) return false;
    ResetNode(n, JsonInteger);
    n->integer = value;
    n->source = IntegerText(value);
    return true;
}

// ---- parts of the tree ----

JsonDocument JsonDocument::GetMemberNode(const JsonPath& path, const JsonUnits& name) {
    JsonNode* n = Resolve(path);
    if (!n || !name.Valid()) return JsonDocument();
    JsonNode* m = MemberStep(n, name.Units());
    ++m->refs;
    return JsonDocument(m);
}

JsonDocument JsonDocument::GetElementNode(const JsonPath& path, int index) {
    JsonNode* n = Resolve(path);
    if (!n) return JsonDocument();
    JsonNode* e = IndexStep(n, index);
    if (!e) return JsonDocument();
    ++e->refs;
    return JsonDocument(e);
}

JsonDocument JsonDocument::GetParentNode(const JsonPath& path) {
    JsonNode* parent = nullptr;
    Resolve(path, &parent);
    if (!parent) return JsonDocument();
    ++parent->refs;
    return JsonDocument(parent);
}

JsonDocument JsonDocument::GetNode(const JsonPath& path) {
    JsonNode* n = Resolve(path);
    if (!n) return JsonDocument();
    ++n->refs;
    return JsonDocument(n);
}

// ---- writing ----

Text JsonDocument::ToText(const JsonPath& path, bool indent) {
    JsonNode* n = Resolve(path);
    if (!n) return Text();
    WideText out;
    WriteNode(n, indent, out);
    return WideToAnsi(out);
}

ByteBuffer JsonDocument::ToTextBytes(const JsonPath& path, bool indent) {
    JsonNode* n = Resolve(path);
    if (!n) return ByteBuffer();
    WideText out;
    WriteNode(n, indent, out);
    return UnitsAsBytes(out, false);
}
