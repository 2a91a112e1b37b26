// Three-way comparison of values and the SQL text of filter operators.
#include <cstring>
#include <stdexcept>

#include "Core/StringFormat.h"
#include "Core/Variant.h"

namespace Data {

using namespace Structures;

namespace {

bool IsPrimitiveCode(uint32_t t) {
    return (t >= VT_Int16 && t <= VT_Bool) || t == VT_Uuid;
}

bool Comparable(const Variant& left, const Variant& right) {
    const uint16_t l = left.Type();
    const uint16_t r = right.Type();
    if (IsPrimitiveCode(l) && IsPrimitiveCode(r)) {
        return true;
    }
    switch (l) {
        case VT_Array:
        case VT_String:
        case VT_DateTime:
        case VT_JsonDocument:
        case VT_XmlDocument:
        case VT_ErrorCode:
        case VT_ObjectList:
        case VT_StringList:
            return l == r;
        default:
            break;
    }
    if (left.Form() == VF_Reference) {
        return left.Raw().type == right.Raw().type;
    }
    if (left.Form() == VF_Pointer) {
        return left.Form() == right.Form();
    }
    return false;
}

template <class T>
int Order(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareBytes(std::string_view a, std::string_view b) {
    const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    if (c != 0) {
        return c < 0 ? -1 : 1;
    }
    return Order(a.size(), b.size());
}

int CompareDocuments(const Variant& left, const Variant& right) {
    if (left.Raw().object == right.Raw().object) {
        return 0;
    }
    if (left.Type() == VT_JsonDocument) {
        auto l = left.AsJson();
        auto r = right.AsJson();
        if (l && r && l->Equals(r.GetUnchecked())) {
            return 0;
        }
    } else {
        auto l = left.AsXml();
        auto r = right.AsXml();
        if (l && r && l->Equals(r.GetUnchecked())) {
            return 0;
        }
    }
    const std::string a = left.Text();
    const std::string b = right.Text();
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    return CompareBytes(a, b);
}

}  // namespace

int Compare(const Variant& left, const Variant& right, bool exact) {
    left.CheckDefined();
    right.CheckDefined();
    const char* lName = VariantTypeName(left.Type());
    const char* rName = VariantTypeName(right.Type());
    if (!Comparable(left, right)) {
        throw std::runtime_error(Core::StringFormat(
            // Fixed text: hosts match on it.
            "Values cannot be compared due type mismatch! Left type is %s, Right type is %s", lName, rName));
    }
    if (!left.HasData() || !right.HasData()) {
        throw std::runtime_error(
            Core::StringFormat("Null values cannot be compared! Left type is %s, Right type is %s", lName, rName));
    }
    switch (right.Type()) {
        case VT_Int16:
        case VT_Int32:
        case VT_Int64:
        case VT_UInt16:
        case VT_UInt32:
        case VT_UInt64:
        case VT_Byte:
        case VT_SByte:
        case VT_Bool:
            return Order(left.ToInt64(), right.ToInt64());
        case VT_Int128:
        case VT_UInt128:
        case VT_Uuid: {
            const auto& l = left.Raw().u128;
            const auto& r = right.Raw().u128;
            const int high = Order(static_cast<int64_t>(l[1]), static_cast<int64_t>(r[1]));
            return high != 0 ? high : Order(static_cast<int64_t>(l[0]), static_cast<int64_t>(r[0]));
        }
        case VT_Double:
        case VT_Float: {
            const double l = left.ToDouble();
            const double r = right.ToDouble();
            if (l == r) {
                return 0;
            }
            return r > l ? -1 : 1;
        }
        case VT_Pointer:
            if (left.Form() != VF_Pointer || right.Form() != VF_Pointer) {
                throw std::runtime_error("Must be pointer type!");
            }
            return Order(reinterpret_cast<uintptr_t>(left.Raw().pointer),
                         reinterpret_cast<uintptr_t>(right.Raw().pointer));
        case VT_IObject:
        case VT_ObjectList:
        case VT_StringList:
            return Order(reinterpret_cast<uintptr_t>(left.Raw().pointer),
                         reinterpret_cast<uintptr_t>(right.Raw().pointer));
        case VT_String: {
            if (exact || left.Form() == VF_Inline || right.Form() == VF_Inline) {
                return CompareBytes(left.Text(), right.Text());
            }
            auto l = left.AsString();
            auto r = right.AsString();
            if (l->Equals(r.GetUnchecked())) {
                return 0;
            }
            const int c = l->Compare(r.GetUnchecked());
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
        case VT_DateTime: {
            if (left.Raw().object == right.Raw().object) {
                return 0;
            }
            const int c = left.AsDateTime()->Compare(right.AsDateTime().GetUnchecked());
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
        case VT_JsonDocument:
        case VT_XmlDocument:
            return CompareDocuments(left, right);
        case VT_ErrorCode: {
            if (left.Raw().object == right.Raw().object) {
                return 0;
            }
            auto l = left.AsErrorCode();
            auto r = right.AsErrorCode();
            return CompareBytes({l->GetMessage(), l->GetMessageLength()}, {r->GetMessage(), r->GetMessageLength()});
        }
        default:
            throw std::runtime_error(Core::StringFormat(
                "Compare is not implemented for specified value types: Left type is %s, Right type is %s", lName,
                rName));
    }
}

}  // namespace Data
