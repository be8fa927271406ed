// Path queries: splitting a path into steps, resolving it (creating what is missing, as every
// query but PathExists does) and reading what it names.
#include <algorithm>
#include <climits>

#include "text/json_tree.h"

namespace {

// An index this far past the end of an array names nothing instead of growing the array to it:
// a path from outside must not be able to make us allocate without bound.
constexpr int64_t kMaxGrowIndex = 1 << 16;

bool IsDigit(char16_t u) {
    return u >= '0' && u <= '9';
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
    // one pass finds both the end of the segment and its first bracket
    size_t dot = pos, open = std::u16string_view::npos;
    for (; dot < path.size() && path[dot] != u'.'; ++dot) {
        if (path[dot] == u'[' && open == std::u16string_view::npos) open = dot - pos;
    }
    const std::u16string_view seg = path.substr(pos, dot - pos);
    more = dot < path.size();
    pos = dot + 1;
    Segment out;
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

}  // namespace

JsonNode* MemberStep(JsonNode* cur, std::u16string_view name) {
    if (cur->kind != JsonObject) ResetNode(cur, JsonObject);
    if (JsonMember* m = FindMember(cur, name)) return m->node;
    JsonNode* fresh = NewNode(JsonNull);
    SetMemberNode(cur, name, fresh);
    return fresh;
}

JsonNode* IndexStep(JsonNode* cur, int64_t index) {
    if (cur->kind != JsonArray) ResetNode(cur, JsonArray);
    if (index < 0) return nullptr;
    const auto count = static_cast<int64_t>(cur->body->elements.size());
    if (index >= count) {
        if (index >= kMaxGrowIndex) return nullptr;
        while (static_cast<int64_t>(cur->body->elements.size()) <= index) {
            cur->body->elements.push_back(NewNode(JsonNull));
        }
    }
    return cur->body->elements[static_cast<size_t>(index)];
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
            const JsonMember* m = FindMember(cur, seg.name);
            if (!m) return false;
            cur = m->node;
        }
        if (seg.hasIndex) {
            if (cur->kind != JsonArray || seg.index < 0 ||
                seg.index >= static_cast<int64_t>(cur->body->elements.size())) {
                return false;
            }
            cur = cur->body->elements[static_cast<size_t>(seg.index)];
        }
    }
    return true;
}

// ---- reading ----

Text JsonDocument::GetText(const JsonPath& path) {
    const JsonNode* n = Resolve(path);
    return (n && n->kind == JsonString) ? JsonNarrow(n->chars.View()) : Text();
}

ByteBuffer JsonDocument::GetTextBytes(const JsonPath& path) {
    const JsonNode* n = Resolve(path);
    return (n && n->kind == JsonString) ? JsonUnitsAsBytes(n->chars.View(), true) : ByteBuffer();
}

int64_t JsonDocument::GetInteger(const JsonPath& path) {
    const JsonNode* n = Resolve(path);
    if (!n) return 0;
    if (n->kind == JsonInteger) return n->integer;
    if (n->kind == JsonReal) return JsonTruncateReal(n->real);
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
    return JsonNarrow(n->chars.View());
}

int JsonDocument::KindOf(const JsonPath& path) {
    const JsonNode* n = Resolve(path);
    return n ? n->kind : JsonRaw;
}

int JsonDocument::CountOf(const JsonPath& path) {
    const JsonNode* n = Resolve(path);
    if (!n) return 0;
    size_t count = 0;
    if (n->kind == JsonObject) count = n->body->members.size();
    if (n->kind == JsonArray) count = n->body->elements.size();
    return count > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(count);
}

bool JsonDocument::HasMember(const JsonPath& path, const JsonUnits& name) {
    const JsonNode* n = Resolve(path);
    return n && name.Valid() && n->kind == JsonObject && FindMember(n, name.Units());
}

bool JsonDocument::HasIndex(const JsonPath& path, int index) {
    const JsonNode* n = Resolve(path);
    return n && n->kind == JsonArray && index >= 0 &&
           static_cast<size_t>(index) < n->body->elements.size();
}
