// JsonDocument's life (shared roots), the path and name type, changes and parts of the tree.
#include "text/json_document.h"

#include <algorithm>
#include <iterator>

#include "text/json_tree.h"

// ---- JsonUnits ----

JsonUnits::JsonUnits(const char* ansi) {
    FromAnsi(ansi ? std::string_view(ansi) : std::string_view());
}

JsonUnits::JsonUnits(const Text& ansi) {
    FromAnsi(ansi);
}

JsonUnits::JsonUnits(const char16_t* wide) {
    Keep(wide ? std::u16string_view(wide) : std::u16string_view());
}

JsonUnits::JsonUnits(const WideText& wide) {
    Keep(wide);
}

void JsonUnits::Keep(std::u16string_view units) {
    size_ = units.size();
    onHeap_ = size_ > std::size(inline_);
    if (onHeap_) {
        heap_.assign(units);
    } else {
        std::copy(units.begin(), units.end(), inline_);
    }
}

void JsonUnits::FromAnsi(std::string_view ansi) {
    // A short ASCII path (every one the program writes) is copied while it is checked.
    size_t k = 0;
    for (; k < ansi.size() && k < std::size(inline_); ++k) {
        const auto c = static_cast<unsigned char>(ansi[k]);
        if (c == 0 || c >= 0x80) break;
        inline_[k] = c;
    }
    if (k == ansi.size() || (k < ansi.size() && ansi[k] == '\0')) {
        size_ = k;
        return;
    }
    ansi = ansi.substr(0, ansi.find('\0'));
    heap_ = JsonWiden(ansi);
    size_ = heap_.size();
    onHeap_ = true;
    valid_ = ansi.empty() || !heap_.empty();
}

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

// ---- changing ----

bool JsonDocument::RemoveMember(const JsonPath& path, const JsonUnits& name) {
    JsonNode* n = Resolve(path);
    if (!n || !name.Valid() || n->kind != JsonObject) return false;
    return RemoveMemberNode(n, name.Units());
}

bool JsonDocument::RemoveElement(const JsonPath& path, int index) {
    JsonNode* n = Resolve(path);
    if (!n || n->kind != JsonArray || index < 0 ||
        static_cast<size_t>(index) >= n->body->elements.size()) {
        return false;
    }
    JsonNode* removed = n->body->elements[static_cast<size_t>(index)];
    n->body->elements.erase(n->body->elements.begin() + index);
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
    SetMemberNode(n, name.Units(), value.root_);
    return true;
}

bool JsonDocument::AppendElement(const JsonPath& path, const JsonDocument& value) {
    if (!value.root_) return false;
    JsonNode* n = Resolve(path);
    if (!n || Reaches(value.root_, n)) return false;
    if (n->kind != JsonArray) ResetNode(n, JsonArray);
    ++value.root_->refs;
    n->body->elements.push_back(value.root_);
    return true;
}

bool JsonDocument::InsertElement(const JsonPath& path, int index, const JsonDocument& value) {
    if (!value.root_ || index < 0) return false;
    JsonNode* n = Resolve(path);
    if (!n || Reaches(value.root_, n)) return false;
    if (n->kind != JsonArray) ResetNode(n, JsonArray);
    ++value.root_->refs;
    const size_t at = std::min(static_cast<size_t>(index), n->body->elements.size());
    n->body->elements.insert(n->body->elements.begin() + static_cast<std::ptrdiff_t>(at),
                             value.root_);
    return true;
}

bool JsonDocument::SetString(const JsonPath& path, const JsonUnits& value) {
    if (!value.Valid()) return false;
    JsonNode* n = Resolve(path);
    if (!n) return false;
    ResetNode(n, JsonString);
    n->chars.Assign(value.Units());
    return true;
}

bool JsonDocument::SetNull(const JsonPath& path) {
    JsonNode* n = Resolve(path);
    if (!n) return false;
    ResetNode(n, JsonNull);
    n->chars.Assign(u"null");
    return true;
}

bool JsonDocument::SetBoolean(const JsonPath& path, bool value) {
    JsonNode* n = Resolve(path);
    if (!n) return false;
    ResetNode(n, JsonBoolean);
    n->boolean = value;
    n->chars.Assign(value ? u"true" : u"false");
    return true;
}

bool JsonDocument::SetReal(const JsonPath& path, double value) {
    JsonNode* n = Resolve(path);
    if (!n) return false;
    ResetNode(n, JsonReal);
    n->real = value;
    n->chars.Assign(JsonRealText(value));
    return true;
}

bool JsonDocument::SetInteger(const JsonPath& path, int64_t value) {
    JsonNode* n = Resolve(path);
    if (!n) return false;
    ResetNode(n, JsonInteger);
    n->integer = value;
    n->chars.Assign(JsonIntegerText(value));
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
