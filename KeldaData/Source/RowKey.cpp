#include "RowKey.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string_view>

#include "Core/ErrorCode.h"
#include "Uuid.h"
#include "Value.h"
#include "Vesk/Data/IArray.h"
#include "Vesk/Data/IDateTime.h"
#include "Vesk/Data/IDocument.h"
#include "Vesk/Data/IString.h"

namespace Data::impl {

using namespace Data::Structures;

namespace {

// splitmix64 finaliser: spreads the bits of near-identical keys (consecutive integers) over the
// whole word.
constexpr uint64_t Mix(uint64_t value) {
    value += 0x9E3779B97F4A7C15ull;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

RowKey IntegerKey(int64_t value) {
    return {RowKey::Integer, static_cast<uint64_t>(value), 0, {}};
}

RowKey WideKey(uint64_t low, uint64_t high) {
    return {RowKey::Wide, low, high, {}};
}

RowKey TextKey(RowKey::Kind kind, std::string_view text) {
    return {kind, 0, 0, std::make_unique<const std::string>(text)};
}

RowKey IdentityKey(const void* address) {
    return {RowKey::Identity, reinterpret_cast<uintptr_t>(address), 0, {}};
}

RowKey RealKey(double value) {
    // Whole numbers key as integers so that 42.0 finds the row keyed 42.
    if (std::isfinite(value) && value == std::trunc(value) && value >= -9.2233720368547758e18 &&
        value < 9.2233720368547758e18) {
        return IntegerKey(static_cast<int64_t>(value));
    }
    if (std::isnan(value)) {
        value = std::numeric_limits<double>::quiet_NaN();  // one NaN, whatever its payload bits
    }
    return {RowKey::Real, std::bit_cast<uint64_t>(value), 0, {}};
}

RowKey StringKey(std::string_view text) {
    _UUID uuid;
    if (TryParseUuid(text, uuid)) {
        uint64_t halves[2];
        std::memcpy(halves, uuid.bytes, sizeof halves);
        return WideKey(halves[0], halves[1]);
    }
    return TextKey(RowKey::Text, text);
}

RowKey InlineKey(const _VARIANT& value) {
    switch (VariantTypeCode(value)) {
        case VT_Int16:
            return IntegerKey(value.i16);
        case VT_Int32:
            return IntegerKey(value.i32);
        case VT_Int64:
            return IntegerKey(value.i64);
        case VT_UInt16:
            return IntegerKey(value.u16);
        case VT_UInt32:
            return IntegerKey(value.u32);
        case VT_UInt64:
            return IntegerKey(static_cast<int64_t>(value.u64));
        case VT_Byte:
            return IntegerKey(value.u8);
        case VT_SByte:
            return IntegerKey(value.i8);
        case VT_Bool:
            return IntegerKey(value.i32);
        case VT_Double:
            return RealKey(value.f64);
        case VT_Float:
            return RealKey(value.f32);
        case VT_Int128:
        case VT_UInt128:
        case VT_Uuid:
            return WideKey(value.u128[0], value.u128[1]);
        case VT_String:
        case VT_JsonDocument:
        case VT_XmlDocument: {
            const std::string_view text(value.text, strnlen(value.text, sizeof value.text));
            if (VariantTypeCode(value) == VT_String) {
                return StringKey(text);
            }
            return TextKey(VariantTypeCode(value) == VT_JsonDocument ? RowKey::Json : RowKey::Xml, text);
        }
        case VT_Unknown:
        case VT_Invalid:
        case VT_Reserved:
            return {};
        default:
            // Pointers and other inline payloads identify by their bits.
            return {RowKey::Identity, value.u128[0], value.u128[1], {}};
    }
}

template <class Document>
RowKey DocumentKey(RowKey::Kind kind, Document& document) {
    Core::Ptr<Interfaces::IString> text;
    if (!document.Render(text.Receive(), nullptr) || !text) {
        return IdentityKey(&document);
    }
    return TextKey(kind, std::string_view(text->GetText(), text->GetLength()));
}

RowKey ObjectKey(uint16_t type, Core::IObject* object) {
    switch (type) {
        case VT_String:
            if (auto* string = dynamic_cast<Interfaces::IString*>(object)) {
                return StringKey(std::string_view(string->GetText(), string->GetLength()));
            }
            break;
        case VT_DateTime:
            if (auto* time = dynamic_cast<Interfaces::IDateTime*>(object)) {
                return {RowKey::Time, time->GetFileTime(), 0, {}};
            }
            break;
        case VT_Array:
            if (auto* array = dynamic_cast<Interfaces::IArray*>(object)) {
                const auto* data = reinterpret_cast<const char*>(array->GetData());
                return TextKey(RowKey::Bytes, std::string_view(data, data == nullptr ? 0 : array->GetByteSize()));
            }
            break;
        case VT_JsonDocument:
            if (auto* json = dynamic_cast<Interfaces::IJsonDocument*>(object)) {
                return DocumentKey(RowKey::Json, *json);
            }
            break;
        case VT_XmlDocument:
            if (auto* xml = dynamic_cast<Interfaces::IXmlDocument*>(object)) {
                return DocumentKey(RowKey::Xml, *xml);
            }
            break;
        case VT_ErrorCode:
            if (auto* failure = dynamic_cast<Core::IErrorCode*>(object)) {
                return TextKey(RowKey::Error, std::string_view(failure->GetMessage(), failure->GetMessageLength()));
            }
            break;
        default:
            break;
    }
    return IdentityKey(object);
}

}  // namespace

size_t RowKeyHash::operator()(const RowKey& key) const noexcept {
    uint64_t hash = Mix(key.low ^ (static_cast<uint64_t>(key.kind) << 56));
    hash = Mix(hash ^ key.high);
    if (!key.ByteView().empty()) {
        hash = Mix(hash ^ std::hash<std::string_view>{}(key.ByteView()));
    }
    return static_cast<size_t>(hash);
}

RowKey MakeRowKey(const _VARIANT& value) {
    CheckDefined(value);
    if (!HoldsData(value)) {
        return {};
    }
    const uint16_t type = VariantTypeCode(value);
    const uint32_t form = VariantFormOf(value);
    if (form == VF_Inline) {
        return InlineKey(value);
    }
    if (Core::IObject* object = HeldObject(value)) {
        return ObjectKey(type, object);
    }
    return IdentityKey(value.pointer);
}

}  // namespace Data::impl
