#include "text/json_tree.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_set>

#include "text/codepage.h"
#include "text/text_helpers.h"

// ---- arena ----

namespace {

constexpr size_t kMinBlock = 1024;
constexpr size_t kMaxBlock = size_t{1} << 15;

}  // namespace

JsonArena* JsonArena::Create(size_t firstBlock) {
    return new JsonArena(std::clamp(firstBlock, kMinBlock, kMaxBlock));
}

JsonArena::~JsonArena() {
    while (blocks_) {
        Block* next = blocks_->next;
        ::operator delete(blocks_);
        blocks_ = next;
    }
}

void JsonArena::AddBlock(size_t atLeast) {
    const size_t size = std::max(nextSize_, atLeast + sizeof(Block) + alignof(std::max_align_t));
    nextSize_ = std::min(nextSize_ * 2, kMaxBlock);
    auto* block = static_cast<Block*>(::operator new(size));
    block->next = blocks_;
    block->size = size;
    blocks_ = block;
    cur_ = reinterpret_cast<char*>(block) + sizeof(Block);
    end_ = reinterpret_cast<char*>(block) + size;
}

void* JsonArena::Allocate(size_t bytes, size_t align) {
    auto at = [&] {
        const auto p = reinterpret_cast<uintptr_t>(cur_);
        return reinterpret_cast<char*>((p + align - 1) & ~(uintptr_t{align} - 1));
    };
    char* p = cur_ ? at() : nullptr;
    if (!p || p > end_ || static_cast<size_t>(end_ - p) < bytes) {
        AddBlock(bytes);
        p = at();
    }
    cur_ = p + bytes;
    return p;
}

// ---- texts ----

void JsonChars::Assign(std::u16string_view units) {
    Reset();
    if (units.empty()) return;
    auto* copy = new char16_t[units.size()];
    std::memcpy(copy, units.data(), units.size() * sizeof(char16_t));
    units_ = copy;
    size_ = units.size();
}

void JsonChars::Adopt(JsonArena* arena, const char16_t* units, size_t count) {
    Reset();
    arena->Hold();
    arena_ = arena;
    units_ = units;
    size_ = count;
}

void JsonChars::Reset() {
    if (arena_) {
        arena_->Drop();
    } else {
        delete[] units_;
    }
    units_ = nullptr;
    size_ = 0;
    arena_ = nullptr;
}

void JsonChars::Take(JsonChars& other) {
    units_ = other.units_;
    size_ = other.size_;
    arena_ = other.arena_;
    other.units_ = nullptr;
    other.size_ = 0;
    other.arena_ = nullptr;
}

// ---- nodes ----

namespace {

bool IsContainer(int kind) {
    return kind == JsonArray || kind == JsonObject;
}

JsonBody* NewBody(JsonArena* arena) {
    if (!arena) return new JsonBody(nullptr);
    return new (arena->Allocate(sizeof(JsonBody), alignof(JsonBody))) JsonBody(arena);
}

}  // namespace

JsonNode* NewNode(int kind, JsonArena* arena) {
    JsonNode* n;
    if (arena) {
        n = new (arena->Allocate(sizeof(JsonNode), alignof(JsonNode))) JsonNode;
        n->arena = arena;
        arena->Hold();
    } else {
        n = new JsonNode;
    }
    n->kind = kind;
    if (IsContainer(kind)) n->body = NewBody(arena);
    return n;
}

namespace {

// Moves every child of `n` to `pending` and leaves `n` without content.
void TakeChildren(JsonNode* n, std::vector<JsonNode*>& pending) {
    if (!n->body) return;
    for (JsonNode* e : n->body->elements) pending.push_back(e);
    n->body->elements.clear();
    for (JsonMember& m : n->body->members) pending.push_back(m.node);
    n->body->members.clear();
    n->body->index.reset();
}

void Destroy(JsonNode* n) {
    JsonArena* arena = n->arena;
    if (!arena) {
        delete n->body;
        delete n;
        return;
    }
    if (n->body) n->body->~JsonBody();
    n->~JsonNode();
    arena->Drop();
}

void ReleaseAll(std::vector<JsonNode*>& pending) {
    while (!pending.empty()) {
        JsonNode* n = pending.back();
        pending.pop_back();
        if (--n->refs > 0) continue;
        TakeChildren(n, pending);
        Destroy(n);
    }
}

}  // namespace

void Release(JsonNode* n) {
    if (!n) return;
    if (n->refs > 1) {
        --n->refs;
        return;
    }
    std::vector<JsonNode*> pending{n};
    ReleaseAll(pending);
}

void ResetNode(JsonNode* n, int kind) {
    std::vector<JsonNode*> pending;
    TakeChildren(n, pending);
    ReleaseAll(pending);
    n->kind = kind;
    n->integer = 0;  // clears the whole value
    n->chars.Reset();
    if (IsContainer(kind) && !n->body) n->body = NewBody(n->arena);
}

// ---- member map ----
// Small objects (every object of the service's answers) are searched in order, comparing hashes
// first; once an object grows past kIndexFrom members it gets an open-addressed index.

namespace {

constexpr size_t kIndexFrom = 16;

size_t Slot(uint32_t hash, size_t slots) {
    return (hash & 0x7FFFFFFFu) & (slots - 1);
}

void BuildIndex(JsonNode* object) {
    size_t slots = 64;
    while (slots < object->body->members.size() * 2) slots *= 2;
    auto index = std::make_unique<std::vector<uint32_t>>(slots, 0);
    for (size_t k = 0; k < object->body->members.size(); ++k) {
        size_t s = Slot(object->body->members[k].hash, slots);
        while ((*index)[s]) s = (s + 1) & (slots - 1);
        (*index)[s] = static_cast<uint32_t>(k + 1);
    }
    object->body->index = std::move(index);
}

size_t FindPosition(const JsonNode* object, std::u16string_view name, uint32_t h) {
    const auto& members = object->body->members;
    if (!object->body->index) {
        for (size_t k = 0; k < members.size(); ++k) {
            if (members[k].hash == h && members[k].name.View() == name) return k;
        }
        return members.size();
    }
    const auto& index = *object->body->index;
    for (size_t s = Slot(h, index.size()); index[s]; s = (s + 1) & (index.size() - 1)) {
        const JsonMember& m = members[index[s] - 1];
        if (m.hash == h && m.name.View() == name) return index[s] - 1;
    }
    return members.size();
}

}  // namespace

uint32_t HashName(std::u16string_view name) {
    uint32_t h = 0;
    for (char16_t u : name) h = h * 31u + u;
    return h;
}

JsonMember* FindMember(JsonNode* object, std::u16string_view name) {
    if (!object->body) return nullptr;
    const size_t k = FindPosition(object, name, HashName(name));
    return k < object->body->members.size() ? &object->body->members[k] : nullptr;
}

const JsonMember* FindMember(const JsonNode* object, std::u16string_view name) {
    if (!object->body) return nullptr;
    const size_t k = FindPosition(object, name, HashName(name));
    return k < object->body->members.size() ? &object->body->members[k] : nullptr;
}

void SetMemberNode(JsonNode* object, JsonChars&& name, JsonNode* node) {
    const uint32_t hash = HashName(name.View());
    const size_t k = FindPosition(object, name.View(), hash);
    if (k < object->body->members.size()) {
        JsonNode* previous = object->body->members[k].node;
        object->body->members[k].node = node;
        Release(previous);
        return;
    }
    AppendNewMember(object, std::move(name), hash, node);
}

void AppendNewMember(JsonNode* object, JsonChars&& name, uint32_t hash, JsonNode* node) {
    JsonMember entry;
    entry.hash = hash;
    entry.name = std::move(name);
    entry.node = node;
    object->body->members.push_back(std::move(entry));
    const size_t count = object->body->members.size();
    if (object->body->index ? count * 4 > object->body->index->size() * 3 : count > kIndexFrom) {
        BuildIndex(object);
    } else if (object->body->index) {
        auto& index = *object->body->index;
        size_t s = Slot(object->body->members.back().hash, index.size());
        while (index[s]) s = (s + 1) & (index.size() - 1);
        index[s] = static_cast<uint32_t>(count);
    }
}

void SetMemberNode(JsonNode* object, std::u16string_view name, JsonNode* node) {
    JsonChars owned;
    owned.Assign(name);
    SetMemberNode(object, std::move(owned), node);
}

bool RemoveMemberNode(JsonNode* object, std::u16string_view name) {
    const size_t k = FindPosition(object, name, HashName(name));
    if (k >= object->body->members.size()) return false;
    JsonNode* node = object->body->members[k].node;
    object->body->members.erase(object->body->members.begin() + static_cast<std::ptrdiff_t>(k));
    if (object->body->index) BuildIndex(object);
    Release(node);
    return true;
}

bool Reaches(JsonNode* from, JsonNode* target) {
    std::vector<JsonNode*> todo{from};
    std::unordered_set<JsonNode*> seen;
    while (!todo.empty()) {
        JsonNode* n = todo.back();
        todo.pop_back();
        if (n == target) return true;
        if (!seen.insert(n).second || !n->body) continue;
        for (JsonNode* e : n->body->elements) todo.push_back(e);
        for (JsonMember& m : n->body->members) todo.push_back(m.node);
    }
    return false;
}

// ---- conversions ----

WideText JsonWiden(std::string_view ansi) {
    ansi = ansi.substr(0, ansi.find('\0'));
    WideText out(ansi.size(), u'\0');
    size_t used = 0, i = 0;
    while (i < ansi.size()) {
        const auto b = static_cast<unsigned char>(ansi[i]);
        if (b < 0x80) {
            out[used++] = b;
            ++i;
            continue;
        }
        // A run of double-byte characters goes to the converter whole; a run ends only on a
        // character boundary, so it converts exactly as it would inside the whole text.
        size_t j = i;
        while (j < ansi.size() && static_cast<unsigned char>(ansi[j]) >= 0x80) {
            const auto lead = static_cast<unsigned char>(ansi[j]);
            j += (lead >= 0x81 && lead <= 0xFE && j + 1 < ansi.size()) ? 2 : 1;
        }
        WideText part;
        if (!MultiByteToWide(kCodePageGbk, ansi.substr(i, j - i), part)) return WideText();
        if (used + part.size() > out.size()) out.resize(used + part.size());
        std::copy(part.begin(), part.end(), out.begin() + static_cast<std::ptrdiff_t>(used));
        used += part.size();
        i = j;
    }
    out.resize(used);
    return out;
}

namespace {

// The code page 936 bytes of every UTF-16 unit, taken from one conversion of all of them (each
// followed by a line feed, a byte no double-byte character contains): the single byte (< 0x100)
// or lead << 8 | trail. Code page 936 maps unit by unit, so a text converts through the table
// exactly as through the converter. Empty when the conversion did not split as expected.
std::vector<uint16_t> BuildNarrowTable() {
    WideText all;
    all.reserve(0x20000);
    for (unsigned u = 1; u < 0x10000; ++u) {
        all.push_back(static_cast<char16_t>(u));
        all.push_back(u'\n');
    }
    Text bytes;
    if (!WideToMultiByte(kCodePageGbk, all, bytes)) return {};
    std::vector<uint16_t> table(0x10000, 0);
    size_t k = 0;
    for (unsigned u = 1; u < 0x10000; ++u) {
        const size_t end = u == '\n' ? k + 1 : bytes.find('\n', k);
        if (end == Text::npos || end + 1 > bytes.size() || bytes[end] != '\n') return {};
        const auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
        if (end - k == 1) {
            table[u] = at(k);
        } else if (end - k == 2 && at(k) >= 0x81) {
            table[u] = static_cast<uint16_t>(at(k) << 8 | at(k + 1));
        } else {
            return {};
        }
        k = end + 1;
    }
    return k == bytes.size() ? table : std::vector<uint16_t>();
}

}  // namespace

Text JsonNarrow(std::u16string_view units) {
    // One pass: the text ends at its first zero, and only a text beyond ASCII needs the table.
    Text out(units.size() * 2, '\0');
    const std::vector<uint16_t>* table = nullptr;
    size_t w = 0;
    for (const char16_t u : units) {
        if (u == 0) break;
        if (u < 0x80) {
            out[w++] = static_cast<char>(u);
            continue;
        }
        if (!table) {
            static const std::vector<uint16_t> built = BuildNarrowTable();
            if (built.empty()) return WideToAnsi(units);
            table = &built;
        }
        const uint16_t e = (*table)[u];
        if (e >= 0x100) out[w++] = static_cast<char>(e >> 8);
        out[w++] = static_cast<char>(e & 0xFF);
    }
    out.resize(w);
    return out;
}
