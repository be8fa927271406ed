// Parsing: one lenient pass over the text, either UTF-16 units or bytes (ASCII or UTF-8 read
// straight from an answer, so the common page never goes through a code-page converter).
#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>
#include <vector>

#include "text/json_tree.h"

namespace {

template <typename CharT>
unsigned U(CharT c) {
    return static_cast<std::make_unsigned_t<CharT>>(c);
}

int HexDigit(unsigned u) {
    if (u >= '0' && u <= '9') return static_cast<int>(u - '0');
    if (u >= 'a' && u <= 'f') return static_cast<int>(u - 'a' + 10);
    if (u >= 'A' && u <= 'F') return static_cast<int>(u - 'A' + 10);
    return -1;
}

char16_t EscapedUnit(unsigned d) {
    switch (d) {
        case '"':
            return u'"';
        case '\\':
            return u'\\';
        case '/':
            return u'/';
        case 'b':
            return 0x08;
        case 't':
            return 0x09;
        case 'n':
            return 0x0A;
        case 'r':
            return 0x0D;
        case 'f':
            return 0x0C;
        default:
            return 0;
    }
}

// The character at `i` as UTF-16 at out[w] (w moves on): bytes beyond ASCII are UTF-8, units
// are taken as they are. Returns the index after it.
template <typename CharT>
size_t PutOne(std::basic_string_view<CharT> s, size_t i, char16_t* out, size_t& w) {
    if constexpr (sizeof(CharT) == 1) {
        if (U(s[i]) >= 0x80) return PutUtf8(s, i, out, w);
    }
    out[w++] = static_cast<char16_t>(U(s[i]));
    return i + 1;
}

// Decodes the quoted text from `i` up to its closing `quote` into `out` (resized as needed; `w`
// units kept), returning the index of that quote or s.size() when there is none. A backslash hides
// a following quote of either kind or a backslash; the JSON escapes are decoded, \uXXXX only when
// asked, and any other pair stays as written.
template <typename CharT>
size_t DecodeQuoted(std::basic_string_view<CharT> s, size_t i, unsigned quote, bool decodeUnicode,
                    std::vector<char16_t>& out, size_t& w) {
    const size_t n = s.size();
    w = 0;
    while (i < n) {
        if (out.size() < w + 2) out.resize(std::max<size_t>(64, out.size() * 2));
        const unsigned c = U(s[i]);
        if (c == quote) return i;
        if (c != '\\' || i + 1 >= n) {
            i = PutOne(s, i, out.data(), w);
            continue;
        }
        const unsigned d = U(s[i + 1]);
        if (d == 'u' && decodeUnicode && i + 5 < n) {
            const int h1 = HexDigit(U(s[i + 2])), h2 = HexDigit(U(s[i + 3]));
            const int h3 = HexDigit(U(s[i + 4])), h4 = HexDigit(U(s[i + 5]));
            if (h1 >= 0 && h2 >= 0 && h3 >= 0 && h4 >= 0) {
                out[w++] = static_cast<char16_t>((h1 * 16 + h2) << 8 | (h3 * 16 + h4));
                i += 6;
                continue;
            }
        }
        if (const char16_t unit = EscapedUnit(d)) {
            out[w++] = unit;
            i += 2;
            continue;
        }
        out[w++] = u'\\';  // any other pair stays as written
        if (sizeof(CharT) == 1 && d >= 0x80) {
            ++i;  // the character after the backslash is decoded on its own
            continue;
        }
        out[w++] = static_cast<char16_t>(d);
        i += 2;
    }
    return n;
}

// Short texts compared without a library call.
template <typename CharT>
bool SameBytes(const CharT* a, const CharT* b, size_t n) {
    for (size_t k = 0; k < n; ++k) {
        if (a[k] != b[k]) return false;
    }
    return true;
}

template <typename CharT>
bool IsBlank(std::basic_string_view<CharT> s) {
    for (CharT u : s) {
        if (U(u) > 32) return false;
    }
    return true;
}

// The single pass over the input. Containers collect their children in shared scratch lists and
// take them over when they close, so each list is allocated once at its final size; the order and
// the replacement of duplicate names are those of adding each child as it is read.
template <typename CharT>
class JsonParser {
  public:
    using View = std::basic_string_view<CharT>;
    JsonParser(JsonNode* root, View s, bool decodeUnicode, JsonArena* arena)
        : root_(root), s_(s), decodeUnicode_(decodeUnicode), arena_(arena) {}
    ~JsonParser() {
        for (JsonNode* n : elements_) Release(n);
        for (Pending& p : members_) Release(p.node);
    }
    JsonParser(const JsonParser&) = delete;
    JsonParser& operator=(const JsonParser&) = delete;

    // 0 or a negative error code.
    int Run() {
        const size_t n = s_.size();
        for (size_t i = 0; i < n; ++i) {
            if (quote_) {
                i = FindClosingQuote(i);
                if (i >= n) break;
                EndQuote(i);
                continue;
            }
            if (const int r = Step(U(s_[i]), i)) return r;
        }
        return open_.empty() ? JsonParseOk : JsonParseStructure;
    }

  private:
    // The closing quote of the open quoted text at or after `i`, or the end of the input. An
    // ASCII text without escapes (most of an answer) is only found here and widened when it is
    // used; any other is decoded into the arena now.
    size_t FindClosingQuote(size_t i) {
        if constexpr (sizeof(CharT) == 1) {
            bool high = false;
            const size_t end = FindEitherNotingHigh(s_, i, static_cast<char>(quote_), '\\', high);
            if (end < s_.size() && U(s_[end]) == quote_) {
                plain_ = !high;
                if (high) {
                    // UTF-8 without escapes: its length is known, so it decodes in place
                    const size_t length = end - i;
                    char16_t* units = arena_->AllocateUnits(length);
                    decodedCount_ = WidenUtf8(s_.substr(i, length), units);
                    arena_->Trim(units, length, decodedCount_);
                    decoded_ = units;
                }
                return end;
            }
        }
        plain_ = false;
        size_t w = 0;
        const size_t end = DecodeQuoted(s_, i, quote_, decodeUnicode_, scratch_, w);
        if (end < s_.size()) {
            char16_t* units = w ? arena_->AllocateUnits(w) : nullptr;
            if (w) std::char_traits<char16_t>::copy(units, scratch_.data(), w);
            decoded_ = units;
            decodedCount_ = w;
        }
        return end;
    }

    struct Pending {
        JsonChars name;
        uint32_t hash;  // HashName(name)
        JsonNode* node;
    };
    // A quoted text: plain ones by their place in the input, others already decoded.
    struct Span {
        size_t start = 0, length = 0;
        bool plain = false;
        const char16_t* units = nullptr;
        size_t count = 0;
    };
    // Decoded member names by their place in their object: the objects of a list repeat the same
    // few names, and each is decoded and hashed once per parse.
    struct KnownName {
        const CharT* bytes = nullptr;
        size_t length = 0;
        const char16_t* units = nullptr;
        size_t count = 0;
        uint32_t hash = 0;
    };
    struct Frame {
        JsonNode* node;
        size_t elementsFrom;
        size_t membersFrom;
    };

    int Step(unsigned c, size_t i) {
        switch (c) {
            case '"':
            case '\'':
                quote_ = c;
                stringStart_ = i + 1;
                return 0;
            case '{':
            case '[':
                return Open(c == '{' ? JsonObject : JsonArray, i);
            case ':':
                if (open_.empty()) return JsonParseStructure;
                if (open_.back().node->kind == JsonArray) return JsonParseColonInArray;
                colonSeen_ = true;
                rawStart_ = i + 1;
                justOpened_ = false;
                return 0;
            case ',':
                if (open_.empty()) return JsonParseStructure;
                if (!closedContainer_) {
                    if (const int r = Store(i)) return r;
                }
                StartValue(i + 1);
                justOpened_ = false;
                return 0;
            case ']':
            case '}':
                return Close(c, i);
            default:
                if (c > 32) justOpened_ = false;
                return 0;
        }
    }

    void EndQuote(size_t i) {
        quote_ = 0;
        if (!open_.empty() && open_.back().node->kind == JsonObject && !colonSeen_) {
            haveKey_ = true;
            key_ = {stringStart_, i - stringStart_, plain_, decoded_, decodedCount_};
        } else {
            haveQuoted_ = true;
            quoted_ = {stringStart_, i - stringStart_, plain_, decoded_, decodedCount_};
        }
        rawStart_ = i + 1;
        justOpened_ = false;
    }

    void StartValue(size_t at) {
        haveKey_ = false;
        haveQuoted_ = false;
        colonSeen_ = false;
        closedContainer_ = false;
        rawStart_ = at;
    }

    int Open(int kind, size_t i) {
        if (open_.size() >= static_cast<size_t>(kJsonMaxDepth)) return JsonParseStructure;
        JsonNode* node;
        if (open_.empty()) {
            ResetNode(root_, kind);
            node = root_;
        } else if (open_.back().node->kind == JsonArray) {
            node = NewNode(kind, arena_);
            elements_.push_back(node);
        } else {
            if (!haveKey_) return JsonParseValueWithoutKey;
            node = NewNode(kind, arena_);
            AddMember(node);
        }
        open_.push_back({node, elements_.size(), members_.size()});
        StartValue(i + 1);
        justOpened_ = true;
        return 0;
    }

    int Close(unsigned c, size_t i) {
        if (open_.empty()) return JsonParseStructure;
        if (!closedContainer_) {
            const bool blank =
                !haveQuoted_ && !haveKey_ && IsBlank(s_.substr(rawStart_, i - rawStart_));
            if (blank && justOpened_) {
                // an empty container
            } else if (blank && c == ']') {
                return JsonParseEmptyElement;
            } else if (const int r = Store(i)) {
                return r;
            }
        }
        Commit(open_.back());
        open_.pop_back();
        StartValue(i + 1);
        closedContainer_ = true;
        justOpened_ = false;
        return 0;
    }

    int Store(size_t end) {
        JsonNode* container = open_.back().node;
        JsonNode* value;
        if (haveQuoted_) {
            value = NewNode(JsonString, arena_);
            value->chars = Decode(quoted_);
        } else {
            const View raw = s_.substr(rawStart_, end - rawStart_);
            if (container->kind == JsonArray && IsBlank(raw)) return 0;
            value = Literal(raw);
        }
        if (container->kind == JsonArray) {
            elements_.push_back(value);
            return 0;
        }
        if (!haveKey_) {
            Release(value);
            return JsonParseValueWithoutKey;
        }
        AddMember(value);
        return 0;
    }

    // The member named by the current key, holding `node` until its object closes.
    void AddMember(JsonNode* node) {
        const View raw = s_.substr(key_.start, key_.length);
        if (!key_.plain) {
            JsonChars name = Decode(key_);
            const uint32_t hash = HashName(name.View());
            members_.push_back({std::move(name), hash, node});
            return;
        }
        // The objects of a list name their members in the same order, so the name seen at this
        // place in the previous object is the likely one.
        KnownName& known = names_[(members_.size() - open_.back().membersFrom) % std::size(names_)];
        if (known.units && known.length == raw.size() &&
            SameBytes(raw.data(), known.bytes, raw.size())) {
            JsonChars name;
            name.Adopt(arena_, known.units, known.count);
            members_.push_back({std::move(name), known.hash, node});
            return;
        }
        // A plain name's bytes are its units, so hashing the bytes gives HashName of the units.
        uint32_t hash = 0;
        for (CharT c : raw) hash = hash * 31u + U(c);
        JsonChars fresh = Decode(key_);
        known = {raw.data(), raw.size(), fresh.View().data(), fresh.View().size(), hash};
        members_.push_back({std::move(fresh), hash, node});
    }

    void Commit(const Frame& f) {
        if (f.node->kind == JsonArray) {
            f.node->body->elements.reserve(f.node->body->elements.size() + elements_.size() -
                                           f.elementsFrom);
            for (size_t k = f.elementsFrom; k < elements_.size(); ++k) {
                f.node->body->elements.push_back(elements_[k]);
            }
            elements_.resize(f.elementsFrom);
            return;
        }
        // The object starts empty; a name whose hash bit no earlier name set is certainly new
        // and skips the search for a member to replace.
        f.node->body->members.reserve(members_.size() - f.membersFrom);
        uint64_t seen = 0;
        for (size_t k = f.membersFrom; k < members_.size(); ++k) {
            JsonNode* child = members_[k].node;
            members_[k].node = nullptr;  // the object owns it from here on
            const uint32_t hash = members_[k].hash;
            const uint64_t bit = uint64_t{1} << (hash & 63);
            if (seen & bit) {
                SetMemberNode(f.node, std::move(members_[k].name), child);
            } else {
                AppendNewMember(f.node, std::move(members_[k].name), hash, child);
            }
            seen |= bit;
        }
        members_.resize(f.membersFrom);
    }

    JsonChars Decode(const Span& span) {
        JsonChars out;
        if (!span.plain) {
            if (span.count) out.Adopt(arena_, span.units, span.count);
            return out;
        }
        if (span.length == 0) return out;
        char16_t* units = arena_->AllocateUnits(span.length);
        if constexpr (sizeof(CharT) == 1) WidenAscii(s_.data() + span.start, span.length, units);
        out.Adopt(arena_, units, span.length);
        return out;
    }

    // The literal's text without blanks, as UTF-16.
    JsonNode* Literal(View raw) {
        literal_.resize(raw.size());
        size_t w = 0;
        for (size_t k = 0; k < raw.size();) {
            const unsigned u = U(raw[k]);
            if (u == '\r' || u == '\n' || u == '\t' || u == ' ') {
                ++k;
                continue;
            }
            k = PutOne(raw, k, literal_.data(), w);
        }
        return LiteralNode(std::u16string_view(literal_.data(), w), arena_);
    }

    JsonNode* root_;
    View s_;
    bool decodeUnicode_;
    JsonArena* arena_;
    std::vector<Frame> open_;  // the open containers, innermost last
    std::vector<JsonNode*> elements_;
    std::vector<Pending> members_;
    WideText literal_;
    unsigned quote_ = 0;
    size_t stringStart_ = 0;
    // The latest quoted text: plain, or decoded to these units.
    bool plain_ = false;
    const char16_t* decoded_ = nullptr;
    size_t decodedCount_ = 0;
    std::vector<char16_t> scratch_;
    bool haveKey_ = false;
    Span key_;
    bool haveQuoted_ = false;
    Span quoted_;
    KnownName names_[64];
    size_t rawStart_ = 0;
    bool colonSeen_ = false;
    bool closedContainer_ = false;  // the current value was a container, now closed
    bool justOpened_ = false;       // nothing but blanks since the container opened
};

// The arena hold of one parse: whatever the parse kept holds the arena on its own.
struct ArenaHold {
    explicit ArenaHold(JsonArena* a) : arena(a) {}
    ~ArenaHold() { arena->Drop(); }
    JsonArena* arena;
};

template <typename CharT>
int ParseRoot(JsonNode*& root, std::basic_string_view<CharT> text, bool decodeUnicode) {
    try {
        if (!root) root = NewNode(JsonObject);
        if (text.empty()) return JsonParseOk;
        ResetNode(root, JsonObject);
        ArenaHold hold(JsonArena::Create(std::min<size_t>(text.size() * sizeof(CharT) * 4, 32768)));
        JsonParser<CharT> parser(root, text, decodeUnicode, hold.arena);
        return parser.Run();
    } catch (const std::bad_alloc&) {
        return JsonParseNoMemory;
    }
}

}  // namespace

bool JsonDocument::Settle(int code) {
    lastError_ = code;
    if (code == JsonParseOk) return true;
    if (root_) ResetNode(root_, JsonObject);
    return false;
}

bool JsonDocument::Parse(const Text& text, bool decodeUnicode) {
    return ParseCodePage(text, decodeUnicode);
}

bool JsonDocument::ParseCodePage(std::string_view text, bool decodeUnicode) {
    text = UpToZero(text);
    if (IsAscii(text)) return Settle(ParseRoot(root_, text, decodeUnicode));
    const WideText wide = JsonWiden(text);
    if (wide.empty()) {
        if (!root_) root_ = NewNode(JsonObject);
        ResetNode(root_, JsonObject);
        lastError_ = JsonParseNoText;
        return false;
    }
    return ParseWide(wide, decodeUnicode);
}

bool JsonDocument::ParseWide(std::u16string_view text, bool decodeUnicode) {
    text = text.substr(0, text.find(u'\0'));
    return Settle(ParseRoot(root_, text, decodeUnicode));
}

bool JsonDocument::ParseAnswer(std::string_view bytes, bool decodeUnicode) {
    const std::string_view text = UpToZero(bytes);
    if (IsUtf8(text)) return Settle(ParseRoot(root_, text, decodeUnicode));
    return ParseCodePage(text, decodeUnicode);
}
