#include "ui/property_bag.h"

#include <cmath>
#include <cstring>
#include <new>

struct PropertyBag::Node {
    int32_t hash;
    INT_PTR intKey;
    char* key;  // copy in the bag's heap (null for integer keys)
    size_t keyLength;
    BagValue value;
    Node* next;
};

namespace {

class SharedLock {
  public:
    explicit SharedLock(SRWLOCK* l) : l_(l) { AcquireSRWLockShared(l_); }
    ~SharedLock() { ReleaseSRWLockShared(l_); }
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;

  private:
    SRWLOCK* l_;
};

class ExclusiveLock {
  public:
    explicit ExclusiveLock(SRWLOCK* l) : l_(l) { AcquireSRWLockExclusive(l_); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(l_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

  private:
    SRWLOCK* l_;
};

int IndexFor(int32_t hash, int buckets) {
    return static_cast<int>((static_cast<uint32_t>(hash) & 0x7FFFFFFFu) %
                            static_cast<uint32_t>(buckets));
}

int ThresholdFor(int buckets, float load) {
    double t = static_cast<double>(buckets) * load;
    if (t >= 2147483647.0) return 2147483647;
    return static_cast<int>(t);
}

int32_t TruncateReal(double d) {
    if (std::isnan(d)) return 0;
    // Out-of-range doubles would be undefined to convert; clamp like the hardware's
    // "integer indefinite" never reaching us.
    if (d >= 2147483647.0) return 2147483647;
    if (d <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(d);
}

}  // namespace

int32_t BagValue::AsInt32() const {
    switch (kind) {
        case BagValueKind::Byte:
            return static_cast<int32_t>(static_cast<uint8_t>(integer & 0xFF));
        case BagValueKind::Short:
            return static_cast<int32_t>(static_cast<int16_t>(static_cast<uint16_t>(integer)));
        case BagValueKind::Float:
        case BagValueKind::Double:
            return TruncateReal(real);
        case BagValueKind::Int32:
        case BagValueKind::Int64:
        case BagValueKind::Pointer:
            break;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(integer)));
}

INT_PTR BagValue::AsPointer() const {
    if (kind == BagValueKind::Pointer || kind == BagValueKind::Int64) {
        return static_cast<INT_PTR>(integer);
    }
    return AsInt32();
}

int32_t PropertyBag::HashBytes(std::string_view bytes) {
    uint32_t h = 0;  // unsigned arithmetic gives the signed wrap-around without overflow UB
    for (unsigned char b : bytes) h = h * 31u + b;
    return static_cast<int32_t>(h);
}

int32_t PropertyBag::HashInteger(INT_PTR key) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(key)));
}

std::unique_ptr<PropertyBag> PropertyBag::Create(BagKeyKind keyKind, int bucketCount,
                                                 float loadFactor) {
    if (bucketCount < 0 || !(loadFactor > 0)) return nullptr;
    if (keyKind != BagKeyKind::Integer && keyKind != BagKeyKind::Text &&
        keyKind != BagKeyKind::Bytes) {
        return nullptr;
    }
    HANDLE heap = HeapCreate(0, 0, 0);
    if (!heap) return nullptr;
    std::unique_ptr<PropertyBag> bag(new (std::nothrow) PropertyBag(heap, keyKind, loadFactor));
    if (!bag) {
        HeapDestroy(heap);
        return nullptr;
    }
    // A zero-bucket table could not index anything; start it at one bucket.
    if (!bag->Init(bucketCount == 0 ? 1 : bucketCount)) return nullptr;
    return bag;
}

PropertyBag::PropertyBag(HANDLE heap, BagKeyKind keyKind, float loadFactor)
    : heap_(heap), loadFactor_(loadFactor), keyKind_(keyKind) {}

PropertyBag::~PropertyBag() {
    if (heap_) HeapDestroy(heap_);
}

bool PropertyBag::Init(int bucketCount) {
    buckets_ = static_cast<Node**>(
        HeapAlloc(heap_, HEAP_ZERO_MEMORY, sizeof(Node*) * static_cast<size_t>(bucketCount)));
    if (!buckets_) return false;
    bucketCount_ = bucketCount;
    threshold_ = ThresholdFor(bucketCount, loadFactor_);
    return true;
}

std::string_view PropertyBag::Normalise(std::string_view key) const {
    if (keyKind_ == BagKeyKind::Text) {
        size_t zero = key.find('\0');
        if (zero != std::string_view::npos) key = key.substr(0, zero);
    }
    return key;
}

PropertyBag::Node* PropertyBag::FindNode(int32_t hash, std::string_view key, INT_PTR intKey) const {
    for (Node* n = buckets_[IndexFor(hash, bucketCount_)]; n; n = n->next) {
        if (n->hash != hash) continue;
        if (keyKind_ == BagKeyKind::Integer) {
            if (n->intKey == intKey) return n;
        } else if (n->keyLength == key.size() &&
                   (key.empty() || std::memcmp(n->key, key.data(), key.size()) == 0)) {
            return n;
        }
    }
    return nullptr;
}

bool PropertyBag::Grow() {
    if (bucketCount_ > (0x3FFFFFFF - 1)) return false;
    int newCount = bucketCount_ * 2 + 1;
    auto* fresh = static_cast<Node**>(
        HeapAlloc(heap_, HEAP_ZERO_MEMORY, sizeof(Node*) * static_cast<size_t>(newCount)));
    if (!fresh) return false;
    for (int i = 0; i < bucketCount_; ++i) {
        Node* n = buckets_[i];
        while (n) {
            Node* next = n->next;
            int idx = IndexFor(n->hash, newCount);
            n->next = fresh[idx];
            fresh[idx] = n;
            n = next;
        }
    }
    HeapFree(heap_, 0, buckets_);
    buckets_ = fresh;
    bucketCount_ = newCount;
    threshold_ = ThresholdFor(newCount, loadFactor_);
    ++modCount_;
    return true;
}

int PropertyBag::Insert(int32_t hash, std::string_view key, INT_PTR intKey, const BagValue& value) {
    if (Node* n = FindNode(hash, key, intKey)) {
        n->value = value;
        return 1;
    }
    // A failed growth still leaves a working (if longer-chained) table.
    if (count_ >= threshold_) Grow();
    auto* node = static_cast<Node*>(HeapAlloc(heap_, 0, sizeof(Node)));
    if (!node) return -1;
    node->hash = hash;
    node->intKey = intKey;
    node->key = nullptr;
    node->keyLength = 0;
    if (keyKind_ != BagKeyKind::Integer) {
        node->key = static_cast<char*>(HeapAlloc(heap_, 0, key.size() + 1));
        if (!node->key) {
            HeapFree(heap_, 0, node);
            return -1;
        }
        if (!key.empty()) std::memcpy(node->key, key.data(), key.size());
        node->key[key.size()] = '\0';
        node->keyLength = key.size();
    }
    node->value = value;
    int idx = IndexFor(hash, bucketCount_);
    node->next = buckets_[idx];
    buckets_[idx] = node;
    ++count_;
    ++modCount_;
    return 0;
}

bool PropertyBag::Erase(int32_t hash, std::string_view key, INT_PTR intKey) {
    Node* target = FindNode(hash, key, intKey);
    if (!target) return false;
    Node** link = &buckets_[IndexFor(hash, bucketCount_)];
    while (*link && *link != target) link = &(*link)->next;
    if (!*link) return false;
    *link = target->next;
    if (target->key) HeapFree(heap_, 0, target->key);
    HeapFree(heap_, 0, target);
    --count_;
    return true;
}

int PropertyBag::Set(std::string_view key, BagValue value) {
    if (keyKind_ == BagKeyKind::Integer) return -1;
    key = Normalise(key);
    ExclusiveLock lock(&lock_);
    return Insert(HashBytes(key), key, 0, value);
}

std::optional<BagValue> PropertyBag::Find(std::string_view key) const {
    if (keyKind_ == BagKeyKind::Integer) return std::nullopt;
    key = Normalise(key);
    SharedLock lock(&lock_);
    if (Node* n = FindNode(HashBytes(key), key, 0)) return n->value;
    return std::nullopt;
}

bool PropertyBag::Has(std::string_view key) const {
    return Find(key).has_value();
}

bool PropertyBag::Remove(std::string_view key) {
    if (keyKind_ == BagKeyKind::Integer) return false;
    key = Normalise(key);
    ExclusiveLock lock(&lock_);
    return Erase(HashBytes(key), key, 0);
}

int32_t PropertyBag::GetInt(std::string_view key) const {
    auto v = Find(key);
    return v ? v->AsInt32() : 0;
}

INT_PTR PropertyBag::GetPtr(std::string_view key) const {
    auto v = Find(key);
    return v ? v->AsPointer() : 0;
}

int PropertyBag::SetAt(INT_PTR key, BagValue value) {
    if (keyKind_ != BagKeyKind::Integer) return -1;
    ExclusiveLock lock(&lock_);
    return Insert(HashInteger(key), {}, key, value);
}

std::optional<BagValue> PropertyBag::FindAt(INT_PTR key) const {
    if (keyKind_ != BagKeyKind::Integer) return std::nullopt;
    SharedLock lock(&lock_);
    if (Node* n = FindNode(HashInteger(key), {}, key)) return n->value;
    return std::nullopt;
}

bool PropertyBag::HasAt(INT_PTR key) const {
    return FindAt(key).has_value();
}

bool PropertyBag::RemoveAt(INT_PTR key) {
    if (keyKind_ != BagKeyKind::Integer) return false;
    ExclusiveLock lock(&lock_);
    return Erase(HashInteger(key), {}, key);
}

INT_PTR PropertyBag::GetPtrAt(INT_PTR key) const {
    auto v = FindAt(key);
    return v ? v->AsPointer() : 0;
}

void PropertyBag::ForEach(
    const std::function<void(std::string_view, INT_PTR, const BagValue&)>& fn) const {
    SharedLock lock(&lock_);
    for (int i = 0; i < bucketCount_; ++i) {
        for (Node* n = buckets_[i]; n; n = n->next) {
            fn(std::string_view(n->key ? n->key : "", n->keyLength), n->intKey, n->value);
        }
    }
}

int PropertyBag::Count() const {
    SharedLock lock(&lock_);
    return count_;
}

int PropertyBag::BucketCount() const {
    SharedLock lock(&lock_);
    return bucketCount_;
}

int PropertyBag::Threshold() const {
    SharedLock lock(&lock_);
    return threshold_;
}

int PropertyBag::ModificationCount() const {
    SharedLock lock(&lock_);
    return modCount_;
}
