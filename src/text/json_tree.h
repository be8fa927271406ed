#pragma once
// The node storage behind JsonDocument (private to the json_*.cpp files).
//
// A parse puts its nodes, their names and their texts in one arena, so reading a page costs a
// handful of large allocations instead of several per value. Nodes are still reference counted
// one by one and may be shared with other documents or attached into other trees; an arena is
// freed when nothing allocated from it is alive any more (every node and every text taken from
// it holds the arena). Nodes made later by queries and setters live on the ordinary heap.
//
// Nothing here recurses: releasing, writing and searching a tree use explicit stacks, so a tree
// of any depth (paths can build deep ones) is safe.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "text/json_document.h"

class JsonArena {
  public:
    // The caller holds the new arena once; `firstBlock` sizes its first block in bytes.
    static JsonArena* Create(size_t firstBlock);
    JsonArena(const JsonArena&) = delete;
    JsonArena& operator=(const JsonArena&) = delete;

    void Hold() { ++holds_; }
    void Drop() {
        if (--holds_ == 0) delete this;
    }
    void* Allocate(size_t bytes, size_t align);
    // Returns the unused end of the latest allocation of `count` units, of which `used` are kept.
    void Trim(char16_t* units, size_t count, size_t used) {
        if (reinterpret_cast<char*>(units + count) == cur_)
            cur_ = reinterpret_cast<char*>(units + used);
    }
    char16_t* AllocateUnits(size_t count) {
        return static_cast<char16_t*>(Allocate(count * sizeof(char16_t), alignof(char16_t)));
    }

  private:
    struct Block {
        Block* next;
        size_t size;
    };
    explicit JsonArena(size_t firstBlock) : nextSize_(firstBlock) {}
    ~JsonArena();
    void AddBlock(size_t atLeast);

    Block* blocks_ = nullptr;
    char* cur_ = nullptr;
    char* end_ = nullptr;
    size_t nextSize_;
    size_t holds_ = 1;
};

// Element lists and member lists of arena nodes grow inside the arena (what a list outgrows stays
// there until the arena goes); those of heap nodes use the heap.
template <typename T>
struct JsonAllocator {
    using value_type = T;
    JsonArena* arena = nullptr;

    JsonAllocator() = default;
    explicit JsonAllocator(JsonArena* a) : arena(a) {}
    template <typename U>
    JsonAllocator(const JsonAllocator<U>& other) : arena(other.arena) {}

    T* allocate(size_t n) {
        if (arena) return static_cast<T*>(arena->Allocate(n * sizeof(T), alignof(T)));
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, size_t n) {
        if (!arena) std::allocator<T>().deallocate(p, n);
    }
    template <typename U>
    bool operator==(const JsonAllocator<U>& other) const {
        return arena == other.arena;
    }
};

// UTF-16 text either inside an arena (holding it) or owned on the heap.
class JsonChars {
  public:
    JsonChars() = default;
    ~JsonChars() { Reset(); }
    JsonChars(JsonChars&& other) noexcept { Take(other); }
    JsonChars& operator=(JsonChars&& other) noexcept {
        if (this != &other) {
            Reset();
            Take(other);
        }
        return *this;
    }
    JsonChars(const JsonChars&) = delete;
    JsonChars& operator=(const JsonChars&) = delete;

    void Assign(std::u16string_view units);
    // Units already written into `arena` (which this text now holds too).
    void Adopt(JsonArena* arena, const char16_t* units, size_t count);
    void Reset();
    std::u16string_view View() const { return {units_, size_}; }

  private:
    void Take(JsonChars& other);
    const char16_t* units_ = nullptr;
    size_t size_ = 0;
    JsonArena* arena_ = nullptr;  // null: units_ is ours on the heap
};

uint32_t HashName(std::u16string_view name);

struct JsonMember {
    uint32_t hash = 0;
    JsonChars name;
    JsonNode* node = nullptr;
};

// What only arrays and objects hold, kept apart so that the far more numerous other values stay
// small.
struct JsonBody {
    explicit JsonBody(JsonArena* a)
        : elements(JsonAllocator<JsonNode*>(a)), members(JsonAllocator<JsonMember>(a)) {}
    std::vector<JsonNode*, JsonAllocator<JsonNode*>> elements;
    std::vector<JsonMember, JsonAllocator<JsonMember>> members;  // in insertion order
    std::unique_ptr<std::vector<uint32_t>> index;  // positions + 1 by hash, for large objects
};

struct JsonNode {
    int refs = 1;
    int kind = JsonNull;
    JsonArena* arena = nullptr;  // where this node (and its body) lives; null on the heap
    union {                      // by kind
        int64_t integer = 0;
        double real;
        bool boolean;
    };
    JsonChars chars;           // a string's value, or a number's or raw literal's text as written
    JsonBody* body = nullptr;  // every array and object has one (others may keep an empty one)
};

// A node of `kind` with empty content, in `arena` when given.
JsonNode* NewNode(int kind, JsonArena* arena = nullptr);
void Release(JsonNode* n);
// Gives `n` a new kind with empty content, releasing what it held.
void ResetNode(JsonNode* n, int kind);

JsonMember* FindMember(JsonNode* object, std::u16string_view name);
const JsonMember* FindMember(const JsonNode* object, std::u16string_view name);
// Makes `node` (whose reference the object takes over) the member `name`; a member of that name
// is replaced in place and released.
void SetMemberNode(JsonNode* object, JsonChars&& name, JsonNode* node);
void SetMemberNode(JsonNode* object, std::u16string_view name, JsonNode* node);
// As SetMemberNode for a name the caller knows the object lacks; `hash` is HashName(name).
void AppendNewMember(JsonNode* object, JsonChars&& name, uint32_t hash, JsonNode* node);
bool RemoveMemberNode(JsonNode* object, std::u16string_view name);

// True when `target` is `from` or lies somewhere below it.
bool Reaches(JsonNode* from, JsonNode* target);

// A value's literal text (blanks already removed) as the node it reads as (json_literal.cpp).
JsonNode* LiteralNode(std::u16string_view t, JsonArena* arena);

// Code page 936 <-> UTF-16 with the all-ASCII case done here; the rest goes through the text
// helpers, so every character converts as it does everywhere else in the program.
WideText JsonWiden(std::string_view ansi);
Text JsonNarrow(std::u16string_view units);

// Numbers as the writer and the setters spell them; a real truncated as GetInteger reads it.
WideText JsonRealText(double r);
WideText JsonIntegerText(int64_t v);
int64_t JsonTruncateReal(double r);

// The UTF-16 units as little-endian bytes, with a zero unit after them when asked.
ByteBuffer JsonUnitsAsBytes(std::u16string_view units, bool withZero);

// One step of a path that creates what is missing: the member `name` (the node becomes an
// object first) or the element `index` (the node becomes an array first; null for a negative
// index or one too far past the end).
JsonNode* MemberStep(JsonNode* cur, std::u16string_view name);
JsonNode* IndexStep(JsonNode* cur, int64_t index);

// Byte scans (json_scan.cpp). FindEither: the first index from `i` holding `a` or `b`, or
// s.size(). UpToZero: the text before its first zero byte. IsUtf8: well-formed UTF-8 as the
// converters accept it (no overlong forms, no surrogates, nothing past U+10FFFF). PutUtf8: the
// well-formed UTF-8 character at `i` written as UTF-16 at out[w] (w moves on); returns the index
// after it.
size_t FindEither(std::string_view s, size_t i, char a, char b);
// As FindEither; sets `high` when a byte >= 0x80 lies before the index found.
size_t FindEitherNotingHigh(std::string_view s, size_t i, char a, char b, bool& high);
// ASCII bytes as UTF-16 units, one for one.
void WidenAscii(const char* in, size_t count, char16_t* out);
std::string_view UpToZero(std::string_view s);
bool IsAscii(std::string_view s);
bool IsUtf8(std::string_view s);
size_t PutUtf8(std::string_view s, size_t i, char16_t* out, size_t& w);
// Well-formed UTF-8 as UTF-16 into `out` (room for s.size() units); returns the units written.
size_t WidenUtf8(std::string_view s, char16_t* out);
