#pragma once
// PropertyBag: a small chained hash table of typed values, keyed by text, bytes or integers.
// Every node, key copy and the bucket array live in one private heap, so dropping the bag frees
// it all at once. Hash (h * 31 + byte for text/bytes, the key itself for integers), bucket index
// (h & 0x7FFFFFFF) % buckets, growth to 2n + 1 buckets once the entry count reaches
// buckets * loadFactor.
//
// A slim reader/writer lock guards the table: the window thread writes while helper threads
// (a picture box's player, for one) read, and a growth must never be observed half done.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

enum class BagKeyKind : int { Integer = 3, Text = 10, Bytes = 11 };

enum class BagValueKind : int {
    Byte = 1,
    Short = 2,
    Int32 = 3,
    Int64 = 4,
    Float = 5,
    Double = 6,
    Pointer = 7,  // pointer-sized integer: handles, addresses
};

struct BagValue {
    BagValueKind kind = BagValueKind::Int32;
    int64_t integer = 0;  // Byte, Short, Int32, Int64, Pointer
    double real = 0;      // Float, Double

    static BagValue FromInt32(int32_t v) { return {BagValueKind::Int32, v, 0}; }
    static BagValue FromPointer(INT_PTR v) { return {BagValueKind::Pointer, v, 0}; }
    static BagValue FromInt64(int64_t v) { return {BagValueKind::Int64, v, 0}; }
    static BagValue FromByte(uint8_t v) { return {BagValueKind::Byte, v, 0}; }
    static BagValue FromShort(int16_t v) { return {BagValueKind::Short, v, 0}; }
    static BagValue FromFloat(float v) { return {BagValueKind::Float, 0, v}; }
    static BagValue FromDouble(double v) { return {BagValueKind::Double, 0, v}; }

    // Read back as a 32-bit integer: byte = low 8 bits, short = sign-extended 16 bits,
    // integers = low 32 bits, float/double truncated.
    int32_t AsInt32() const;
    // Read back pointer-sized: pointers and 64-bit integers whole, the rest as AsInt32.
    INT_PTR AsPointer() const;
};

class PropertyBag {
  public:
    static constexpr int kDefaultBuckets = 11;
    static constexpr float kDefaultLoadFactor = 0.75f;

    // Empty when bucketCount < 0, loadFactor <= 0 or the heap cannot be made.
    static std::unique_ptr<PropertyBag> Create(BagKeyKind keyKind,
                                               int bucketCount = kDefaultBuckets,
                                               float loadFactor = kDefaultLoadFactor);
    ~PropertyBag();
    PropertyBag(const PropertyBag&) = delete;
    PropertyBag& operator=(const PropertyBag&) = delete;

    // Text and byte keys. A text key ends at its first zero byte; a byte key is taken whole.
    // Set returns 1 when an existing value was replaced, 0 when a new entry was added, -1 on
    // failure (wrong key kind, heap exhausted).
    int Set(std::string_view key, BagValue value);
    std::optional<BagValue> Find(std::string_view key) const;
    bool Has(std::string_view key) const;
    bool Remove(std::string_view key);
    int32_t GetInt(std::string_view key) const;  // 0 when absent
    INT_PTR GetPtr(std::string_view key) const;  // 0 when absent

    // Integer keys (window handles in the registry).
    int SetAt(INT_PTR key, BagValue value);
    std::optional<BagValue> FindAt(INT_PTR key) const;
    bool HasAt(INT_PTR key) const;
    bool RemoveAt(INT_PTR key);
    INT_PTR GetPtrAt(INT_PTR key) const;  // 0 when absent

    // Visits every entry (text/bytes keys as bytes; integer keys as their value in intKey).
    // The callback must not change the bag.
    void ForEach(
        const std::function<void(std::string_view key, INT_PTR intKey, const BagValue&)>& fn) const;

    BagKeyKind KeyKind() const { return keyKind_; }
    int Count() const;
    int BucketCount() const;
    int Threshold() const;
    int ModificationCount() const;
    float LoadFactor() const { return loadFactor_; }

    // The hashes the table uses, exposed so the layout can be checked.
    static int32_t HashBytes(std::string_view bytes);
    static int32_t HashInteger(INT_PTR key);

  private:
    struct Node;
    PropertyBag(HANDLE heap, BagKeyKind keyKind, float loadFactor);
    bool Init(int bucketCount);
    std::string_view Normalise(std::string_view key) const;
    Node* FindNode(int32_t hash, std::string_view key, INT_PTR intKey) const;
    int Insert(int32_t hash, std::string_view key, INT_PTR intKey, const BagValue& value);
    bool Erase(int32_t hash, std::string_view key, INT_PTR intKey);
    bool Grow();

    HANDLE heap_ = nullptr;
    Node** buckets_ = nullptr;
    int bucketCount_ = 0;
    int count_ = 0;
    int threshold_ = 0;
    float loadFactor_ = kDefaultLoadFactor;
    int modCount_ = 0;
    BagKeyKind keyKind_;
    mutable SRWLOCK lock_ = SRWLOCK_INIT;
};
