#pragma once
// A lenient JSON reader with dotted path queries.
//
// A JsonDocument is a handle on one root node. Nodes are reference counted and may be shared by
// several documents (GetNode and friends hand out such documents; copying a document shares its
// root too). Nothing here is thread-safe: each network step owns its documents.
//
// Paths ("data.album_list.[3].caption"): segments separated by "."; "name", "[n]" or "name[n]"
// (only the first bracket pair of a segment counts); indices count from 0; an empty path names
// the root; a segment with neither name nor index names the member with the empty name.
//
// Queries resolve their path by creating what is missing, so a query on an absent path yields
// the empty text or 0 and never fails; as a consequence they change the tree (a value of the
// wrong kind on the way is replaced). PathExists is the one query that creates nothing.
#include <cstdint>
#include <string_view>

#include "text/text_types.h"

// Kind codes as KindOf reports them.
enum JsonKind : int {
    JsonRaw = -1,  // a literal that is neither null, boolean nor number; KindOf also gives -1
                   // when a path resolves to nothing
    JsonNull = 0,
    JsonReal = 1,
    JsonInteger = 2,
    JsonBoolean = 3,
    JsonString = 4,
    JsonArray = 5,
    JsonObject = 6,
};

// Parse outcomes as LastParseError reports them.
enum JsonParseError : int {
    JsonParseOk = 0,
    JsonParseAttachFailed = -1,
    JsonParseNoText = -2,
    JsonParseNoMemory = -3,
    JsonParseValueWithoutKey = -4,
    JsonParseStructure = -5,  // also: nesting deeper than kJsonMaxDepth
    JsonParseEmptyElement = -7,
    JsonParseColonInArray = -8,
};

// Containers nested deeper than this make Parse fail with JsonParseStructure.
inline constexpr int kJsonMaxDepth = 512;

// A path, member name or string value given either as code-page-936 text or directly as UTF-16.
// Short ones (every path the program writes) are kept inside the object, so a query costs no
// allocation for its path.
class JsonUnits {
  public:
    JsonUnits(const char* ansi);
    JsonUnits(const Text& ansi);
    JsonUnits(const char16_t* wide);
    JsonUnits(const WideText& wide);

    std::u16string_view Units() const { return {onHeap_ ? heap_.data() : inline_, size_}; }
    // False when code-page text did not convert; such a path names nothing.
    bool Valid() const { return valid_; }

  private:
    void Keep(std::u16string_view units);
    void FromAnsi(std::string_view ansi);

    char16_t inline_[56];  // the first size_ units are set
    WideText heap_;
    size_t size_ = 0;
    bool onHeap_ = false;
    bool valid_ = true;
};
using JsonPath = JsonUnits;

struct JsonNode;  // private to the json_*.cpp files (json_tree.h)

class JsonDocument {
  public:
    JsonDocument();  // no root yet
    ~JsonDocument();
    JsonDocument(const JsonDocument& other);  // shares the root
    JsonDocument& operator=(const JsonDocument& other);
    JsonDocument(JsonDocument&& other) noexcept;
    JsonDocument& operator=(JsonDocument&& other) noexcept;

    // Parses code-page-936 text (up to its first zero); \uXXXX escapes are decoded when
    // `decodeUnicode` is set.
    // True when the whole text parsed; on failure the document is left with an empty object and
    // LastParseError tells why. An empty text succeeds and leaves the content as it was.
    bool Parse(const Text& text, bool decodeUnicode = true);
    bool ParseWide(std::u16string_view text, bool decodeUnicode = true);
    // Parses an answer's body as received: read as UTF-8 when it is well-formed UTF-8 (an
    // all-ASCII body included), otherwise as code page 936 like Parse. Up to its first zero byte;
    // outcomes and error codes as for Parse. Texts read from the document are code page 936 as
    // always; a character code page 936 lacks comes out as that conversion's default ("?").
    bool ParseAnswer(std::string_view bytes, bool decodeUnicode = true);
    int LastParseError() const { return lastError_; }
    bool HasRoot() const { return root_ != nullptr; }

    // The string at the path in code page 936; empty for every other kind.
    Text GetText(const JsonPath& path);
    // The string's UTF-16 little-endian bytes followed by a zero unit; empty for other kinds.
    ByteBuffer GetTextBytes(const JsonPath& path);
    // Integer value; a real truncated toward zero (clamped to the 64-bit range); 0 otherwise.
    int64_t GetInteger(const JsonPath& path);
    // Real value; an integer converted; 0 otherwise.
    double GetReal(const JsonPath& path);
    // True only for a boolean holding true.
    bool GetBoolean(const JsonPath& path);
    // The source text of a number or raw literal as written; empty otherwise.
    Text GetNumberText(const JsonPath& path);
    // The kind code; -1 for a raw literal or when the path resolves to nothing.
    int KindOf(const JsonPath& path);
    // Members of an object, elements of an array, 0 otherwise.
    int CountOf(const JsonPath& path);
    bool HasMember(const JsonPath& path, const JsonUnits& name);
    bool HasIndex(const JsonPath& path, int index);

    // True when something was removed.
    bool RemoveMember(const JsonPath& path, const JsonUnits& name);
    bool RemoveElement(const JsonPath& path, int index);

    // Attach `value`'s root under the node at the path (which becomes an object or array).
    // False when `value` has no root, the path names nothing, or attaching would make the node
    // contain itself. InsertElement puts the value at `index` (at the end when index >= count).
    bool SetMember(const JsonPath& path, const JsonUnits& name, const JsonDocument& value);
    bool AppendElement(const JsonPath& path, const JsonDocument& value);
    bool InsertElement(const JsonPath& path, int index, const JsonDocument& value);

    // The node at the path takes the kind and value given. False when the path names nothing.
    bool SetString(const JsonPath& path, const JsonUnits& value);
    bool SetNull(const JsonPath& path);
    bool SetBoolean(const JsonPath& path, bool value);
    bool SetReal(const JsonPath& path, double value);
    bool SetInteger(const JsonPath& path, int64_t value);

    // Documents on parts of the tree (no root when the path names nothing).
    JsonDocument GetMemberNode(const JsonPath& path, const JsonUnits& name);
    JsonDocument GetElementNode(const JsonPath& path, int index);
    JsonDocument GetParentNode(const JsonPath& path);
    JsonDocument GetNode(const JsonPath& path);

    // True when every segment exists already; creates nothing; false for the empty path.
    bool PathExists(const JsonPath& path) const;

    // The node at the path written as JSON in code page 936 (or as UTF-16 little-endian bytes).
    // With `indent`, object members go on their own lines, indented by tabs.
    Text ToText(const JsonPath& path = JsonPath(u""), bool indent = false);
    ByteBuffer ToTextBytes(const JsonPath& path = JsonPath(u""), bool indent = false);

  private:
    explicit JsonDocument(JsonNode* adopted);
    bool ParseCodePage(std::string_view text, bool decodeUnicode);
    bool Settle(int code);
    JsonNode* Resolve(const JsonPath& path, JsonNode** parent = nullptr);
    JsonNode* root_ = nullptr;
    int lastError_ = 0;
};
