// The property bag: hashing, growth, typed read-back, the three key kinds.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ui/property_bag.h"

namespace {

TEST(PropertyBag, HashesTextLikeTheThirtyOneRuleWithWrapAround) {
    EXPECT_EQ(PropertyBag::HashBytes(""), 0);
    EXPECT_EQ(PropertyBag::HashBytes("a"), 97);
    EXPECT_EQ(PropertyBag::HashBytes("hWnd"), ((104 * 31 + 87) * 31 + 110) * 31 + 100);
    // Long enough to overflow 32 bits several times: computed here in 64 bits and wrapped.
    const std::string longKey = "oldWndPropertyThatIsRatherLongForAHash";
    uint32_t h = 0;
    for (unsigned char c : longKey) h = h * 31u + c;
    EXPECT_EQ(PropertyBag::HashBytes(longKey), static_cast<int32_t>(h));
    // Bytes are unsigned: 0xD6 counts as 214, not -42.
    EXPECT_EQ(PropertyBag::HashBytes("\xD6"), 214);
}

TEST(PropertyBag, StartsWithElevenBucketsAndGrowsToTwoNPlusOneAtThreeQuarters) {
    auto bag = PropertyBag::Create(BagKeyKind::Text);
    ASSERT_TRUE(bag);
    EXPECT_EQ(bag->BucketCount(), 11);
    EXPECT_EQ(bag->Threshold(), 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(bag->Set("k" + std::to_string(i), BagValue::FromInt32(i)), 0);
    }
    EXPECT_EQ(bag->BucketCount(), 11) << "growth happens only when the ninth entry arrives";
    EXPECT_EQ(bag->Set("k8", BagValue::FromInt32(8)), 0);
    EXPECT_EQ(bag->BucketCount(), 23);
    EXPECT_EQ(bag->Threshold(), 17);
    for (int i = 9; i < 18; ++i) bag->Set("k" + std::to_string(i), BagValue::FromInt32(i));
    EXPECT_EQ(bag->BucketCount(), 47);
    EXPECT_EQ(bag->Count(), 18);
    // Every node moved to its new bucket: all still found with their values.
    for (int i = 0; i < 18; ++i) EXPECT_EQ(bag->GetInt("k" + std::to_string(i)), i) << i;
}

TEST(PropertyBag, ReplacingAKeyKeepsOneEntryAndReportsTheReplacement) {
    auto bag = PropertyBag::Create(BagKeyKind::Text);
    ASSERT_TRUE(bag);
    EXPECT_EQ(bag->Set("BackColor", BagValue::FromInt32(5)), 0);
    const int mods = bag->ModificationCount();
    EXPECT_EQ(bag->Set("BackColor", BagValue::FromInt32(7)), 1);
    EXPECT_EQ(bag->Count(), 1);
    EXPECT_EQ(bag->GetInt("BackColor"), 7);
    EXPECT_EQ(bag->ModificationCount(), mods) << "a replacement is not an insertion";
    EXPECT_TRUE(bag->Remove("BackColor"));
    EXPECT_FALSE(bag->Has("BackColor"));
    EXPECT_FALSE(bag->Remove("BackColor"));
    EXPECT_EQ(bag->GetInt("BackColor"), 0);
    EXPECT_EQ(bag->Count(), 0);
}

TEST(PropertyBag, ReadsTypedValuesBackAsIntegers) {
    struct Case {
        const char* name;
        BagValue value;
        int32_t asInt;
        INT_PTR asPointer;
    };
    const Case cases[] = {
        {"byte keeps the low 8 bits", BagValue{BagValueKind::Byte, 0x1FF, 0}, 0xFF, 0xFF},
        {"short is sign-extended", BagValue::FromShort(-2), -2, -2},
        {"short 0x8000", BagValue{BagValueKind::Short, 0x8000, 0}, -32768, -32768},
        {"int32", BagValue::FromInt32(-123456), -123456, -123456},
        {"int64 low 32 bits", BagValue::FromInt64(0x123456789LL), 0x23456789, 0x123456789LL},
        {"float truncated", BagValue::FromFloat(-3.75f), -3, -3},
        {"double truncated", BagValue::FromDouble(41.99), 41, 41},
        {"double out of range clamps", BagValue::FromDouble(1e300), INT32_MAX, INT32_MAX},
        {"pointer whole", BagValue::FromPointer(static_cast<INT_PTR>(0x7FF612345678LL)), 0x12345678,
         static_cast<INT_PTR>(0x7FF612345678LL)},
    };
    auto bag = PropertyBag::Create(BagKeyKind::Text);
    ASSERT_TRUE(bag);
    for (const Case& c : cases) {
        bag->Set(c.name, c.value);
        EXPECT_EQ(bag->GetInt(c.name), c.asInt) << c.name;
        EXPECT_EQ(bag->GetPtr(c.name), c.asPointer) << c.name;
    }
}

TEST(PropertyBag, TextKeysEndAtZeroWhileByteKeysKeepEveryByte) {
    auto text = PropertyBag::Create(BagKeyKind::Text);
    auto bytes = PropertyBag::Create(BagKeyKind::Bytes);
    ASSERT_TRUE(text && bytes);
    const std::string_view withZero("ab\0cd", 5);
    const std::string_view otherTail("ab\0xy", 5);

    text->Set(withZero, BagValue::FromInt32(1));
    EXPECT_EQ(text->GetInt("ab"), 1);
    EXPECT_EQ(text->Set(otherTail, BagValue::FromInt32(2)), 1) << "same text key \"ab\"";
    EXPECT_EQ(text->Count(), 1);

    bytes->Set(withZero, BagValue::FromInt32(1));
    bytes->Set(otherTail, BagValue::FromInt32(2));
    EXPECT_EQ(bytes->Count(), 2);
    EXPECT_EQ(bytes->GetInt(withZero), 1);
    EXPECT_EQ(bytes->GetInt(otherTail), 2);
    EXPECT_FALSE(bytes->Has("ab"));
}

TEST(PropertyBag, IntegerKeysHoldWindowHandlesAndRefuseTextKeys) {
    auto bag = PropertyBag::Create(BagKeyKind::Integer);
    ASSERT_TRUE(bag);
    // Keys that collide in one bucket of 11 still stay apart.
    const INT_PTR keys[] = {0x10010, 0x10010 + 11, 0x10010 + 22, -5,
                            static_cast<INT_PTR>(0x100000010LL)};
    for (INT_PTR k : keys) EXPECT_EQ(bag->SetAt(k, BagValue::FromPointer(k * 2)), 0);
    for (INT_PTR k : keys) EXPECT_EQ(bag->GetPtrAt(k), k * 2);
    // 0x100000010 and 0x10 share the 32-bit hash but are different keys.
    EXPECT_FALSE(bag->HasAt(0x10));
    EXPECT_TRUE(bag->RemoveAt(0x10010 + 11));
    EXPECT_FALSE(bag->HasAt(0x10010 + 11));
    EXPECT_EQ(bag->GetPtrAt(0x10010 + 22), (0x10010 + 22) * 2);

    EXPECT_EQ(bag->Set("hWnd", BagValue::FromInt32(1)), -1);
    EXPECT_FALSE(bag->Has("hWnd"));
    auto text = PropertyBag::Create(BagKeyKind::Text);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->SetAt(1, BagValue::FromInt32(1)), -1);
}

TEST(PropertyBag, RefusesImpossibleShapesAndVisitsEveryEntry) {
    EXPECT_FALSE(PropertyBag::Create(BagKeyKind::Text, -1));
    EXPECT_FALSE(PropertyBag::Create(BagKeyKind::Text, 11, 0.0f));
    EXPECT_FALSE(PropertyBag::Create(BagKeyKind::Text, 11, -0.5f));
    EXPECT_FALSE(PropertyBag::Create(static_cast<BagKeyKind>(4)));

    auto tiny = PropertyBag::Create(BagKeyKind::Text, 0, 0.75f);
    ASSERT_TRUE(tiny) << "zero buckets is a legal request";
    std::set<std::string> want;
    for (int i = 0; i < 100; ++i) {
        want.insert("name" + std::to_string(i));
        tiny->Set("name" + std::to_string(i), BagValue::FromInt32(i));
    }
    std::set<std::string> seen;
    tiny->ForEach([&](std::string_view key, INT_PTR, const BagValue&) { seen.emplace(key); });
    EXPECT_EQ(seen, want);
    EXPECT_EQ(tiny->Count(), 100);
}

}  // namespace
