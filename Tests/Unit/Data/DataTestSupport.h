#pragma once
// Helpers shared by the data-object library tests: value records, error checks and an object whose
// reference count and lifetime a test can watch.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "Core/ErrorCode.h"
#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Vesk/Data/KeldaData.h"

namespace DataTest {

using namespace Data::Interfaces;
using namespace Data::Structures;
using Core::Ptr;

// A value record that releases what it holds when the test is done with it.
struct Owned {
    _VARIANT value{};
    Owned() { value.type = VT_Null; }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { VariantClear(&value); }
};

inline _VARIANT NullValue() {
    return {.type = VT_Null, .reserved = 0, .i64 = 0};
}
inline _VARIANT Int32Value(int32_t number) {
    return {.type = VT_Int32, .reserved = 0, .i32 = number};
}
inline _VARIANT Int64Value(int64_t number) {
    return {.type = VT_Int64, .reserved = 0, .i64 = number};
}

// A short text kept inside the record, and a Uuid.
inline _VARIANT InlineText(std::string_view text) {
    _VARIANT v = NullValue();
    v.type = VT_String;
    std::memcpy(v.text, text.data(), std::min<size_t>(text.size(), sizeof v.text - 1));
    return v;
}
inline _VARIANT UuidValue(const _UUID& uuid) {
    _VARIANT v = NullValue();
    v.type = VT_Uuid;
    std::memcpy(v.bytes, uuid.bytes, sizeof uuid.bytes);
    return v;
}

// A record of the reference form that owns a new reference to object: clear it (or wrap it in
// Owned) when done.
inline _VARIANT ObjectValue(VariantType type, Core::IObject* object) {
    _VARIANT v{};
    v.type = static_cast<uint32_t>(VF_Reference) | type;
    v.object = object;
    object->AddReference();
    return v;
}

// What an operation of the out-pointer form hands out; a failure throws, which fails the test.
template <class T, class Call>
Ptr<T> Out(Call&& call) {
    Ptr<T> object;
    if (!call(object.Receive())) {
        throw std::runtime_error("an out-pointer call failed");
    }
    return object;
}

inline Ptr<IString> MakeString(std::string_view text) {
    Ptr<IString> string;
    EXPECT_TRUE(Data_CreateString(string.Receive()));
    EXPECT_TRUE(string->Set(text.data(), text.size(), nullptr));
    return string;
}

inline std::string Text(IString* string) {
    return std::string(string->GetText(), string->GetLength());
}

inline _UUID ParseUuid(const char* text) {
    _UUID uuid{};
    EXPECT_TRUE(Data_UuidFromString(text, &uuid, nullptr)) << text;
    return uuid;
}

// The current reference count of an object, read without changing it.
inline uint32_t ReferenceCount(Core::IObject* object) {
    object->AddReference();
    return object->Release();
}

// An object that reports its own destruction.
class Tracked final : public Core::ObjectT<Core::IObject> {
public:
    explicit Tracked(bool* destroyed) : destroyed_(destroyed) {}

private:
    ~Tracked() override { *destroyed_ = true; }
    bool* destroyed_;
};

// Runs an operation of the error-code form and gives the message of its failure ("" on success).
template <class Call>
std::string FailureOf(Call&& call) {
    Core::ErrorCode error;
    const bool ok = call(error.Receive());
    if (ok) {
        EXPECT_FALSE(error) << "succeeded but left an error behind";
        return "";
    }
    EXPECT_TRUE(error) << "failed without an error object";
    return std::string(error.Message());
}

}  // namespace DataTest
