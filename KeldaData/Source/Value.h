#pragma once
#include <string_view>

#include "Vesk/Core/IObject.h"
#include "Vesk/Data/Structures.h"

namespace Data::impl {

// The highest type code that names a type; anything above it is an uninitialised record.
inline constexpr uint16_t kLastVariantType = Structures::VT_Reserved;

// Throws the "undefined type" failure for a record whose type code names no type.
void CheckDefined(const Structures::_VARIANT& value);

// True when the record holds something: not Null, and not a reference or pointer form with a null
// pointer.
bool HoldsData(const Structures::_VARIANT& value);

// The object behind a reference or pointer form of an object type, or null.
Core::IObject* HeldObject(const Structures::_VARIANT& value);

// The text of a String value, whether held inline or by an IString; false for anything else.
bool StringText(const Structures::_VARIANT& value, std::string_view& text);

// A value record that owns what it holds: copies add a reference to a held object, destruction
// releases it. Cells, list items, dictionary entries and property values are kept in these.
class Value {
public:
    Value() noexcept { record_.type = Structures::VT_Null; }
    explicit Value(const Structures::_VARIANT& source) noexcept { Structures::VariantCopy(&record_, &source); }
    Value(const Value& other) noexcept { Structures::VariantCopy(&record_, &other.record_); }
    Value(Value&& other) noexcept : record_(other.record_) { other.Forget(); }
    Value& operator=(const Value& other) noexcept {
        Assign(other.record_);
        return *this;
    }
    Value& operator=(Value&& other) noexcept {
        if (this != &other) {
            Structures::VariantClear(&record_);
            record_ = other.record_;
            other.Forget();
        }
        return *this;
    }
    ~Value() { Structures::VariantClear(&record_); }

    // Copies source in. The old content is released only after the copy has taken its reference,
    // so assigning a record to itself (or to a record that holds the same object) is safe.
    void Assign(const Structures::_VARIANT& source) noexcept {
        Structures::_VARIANT copy;
        Structures::VariantCopy(&copy, &source);
        Structures::VariantClear(&record_);
        record_ = copy;
    }
    // Copies the value out into a record owned by the caller.
    void CopyTo(Structures::_VARIANT* target) const noexcept { Structures::VariantCopy(target, &record_); }
    const Structures::_VARIANT& Get() const noexcept { return record_; }

private:
    // Leaves the record Null without releasing anything: its content has moved elsewhere.
    void Forget() noexcept {
        record_.type = Structures::VT_Null;
        record_.reserved = 0;
        record_.u128[0] = 0;
        record_.u128[1] = 0;
    }

    Structures::_VARIANT record_{};
};

}  // namespace Data::impl
