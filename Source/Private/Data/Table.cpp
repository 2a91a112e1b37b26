#include "Private/Data/Table.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "Core/Guard.h"
#include "Core/Log.h"
#include "Core/StringFormat.h"
#include "Vesk/Data/IEnum.h"
#include "Vesk/Data/IObjectList.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Services/IEncryption.h"
#include "Vesk/VeskCore.h"

namespace Vesk::Data {

namespace DS = ::Data::Structures;
namespace DI = ::Data::Interfaces;
using ArrayPtr = Core::Ptr<DI::IArray>;
using RowPtr = Core::Ptr<DI::IRow>;

namespace {

constexpr const char* kBadBlobSize =
    "Failed to read data from blob array due target type size being less than actual or size was beyond 8 bytes.";
constexpr const char* kNotValueType = "Must be value type!";
constexpr const char* kInvalidJson = "Json document is not valid!";
constexpr const char* kSetCellFailed = "Error while setting cell value";
constexpr size_t kSecurePadding = 32;

ArrayPtr BytesOf(const void* data, uint64_t size) {
    return NewByteArray(data, size);
}

ArrayPtr LittleEndian(uint64_t value, size_t size) {
    uint8_t bytes[8];
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    }
    return BytesOf(bytes, size);
}

// Zero-extends a little-endian blob whose size is one of the accepted sizes.
uint64_t ReadUnsigned(const uint8_t* data, uint64_t size, std::initializer_list<uint64_t> accepted) {
    if (std::find(accepted.begin(), accepted.end(), size) == accepted.end()) {
        throw std::runtime_error(kBadBlobSize);
    }
    uint64_t value = 0;
    for (uint64_t i = 0; i < size; ++i) {
        value |= static_cast<uint64_t>(data[i]) << (8 * i);
    }
    return value;
}

// Overwrites bytes that held a plain secret before they are given back to the heap.
void Wipe(void* data, size_t size) {
    volatile uint8_t* bytes = static_cast<volatile uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = 0;
    }
}

Core::Ptr<Interfaces::IEncryption> EncryptionUnder(DI::IArray* secret) {
    if (secret == nullptr || secret->GetByteSize() == 0) {
        throw std::runtime_error("A secure string cannot be stored or read without the workspace secret");
    }
    Core::Ptr<Interfaces::IEncryption> aes;
    Core::ThrowIfFailed(
        [&](Core::IErrorCode** e) { return VeskCore_CreateEncryptionInstanceAes256(secret, aes.Receive(), e); },
        "Failed to create the AES-256 instance");
    return aes;
}

// Pads to the next multiple of 32 bytes, always adding at least one zero byte, so that the plain text
// ends where the first zero byte is when it is read back.
ArrayPtr EncryptSecureString(DI::ISecureString* text, DI::IArray* secret) {
    const uint64_t length = text->GetLength();
    std::string padded((length / kSecurePadding + 1) * kSecurePadding, '\0');
    std::memcpy(padded.data(), text->GetText(), length);
    ArrayPtr plain = BytesOf(padded.data(), padded.size());
    Wipe(padded.data(), padded.size());
    ArrayPtr cipher;
    try {
        auto aes = EncryptionUnder(secret);
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return aes->Encrypt(plain.Get(), cipher.Receive(), e); },
                            "Encryption failed");
    } catch (...) {
        Wipe(plain->GetData(), plain->GetByteSize());
        throw;
    }
    Wipe(plain->GetData(), plain->GetByteSize());
    return cipher;
}

Variant DecryptSecureString(DI::IArray* blob, DI::IArray* secret) {
    auto aes = EncryptionUnder(secret);
    ArrayPtr plain;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return aes->Decrypt(blob, plain.Receive(), e); },
                        "Decryption failed");
    const auto* bytes = reinterpret_cast<const char*>(plain->GetData());
    const uint64_t size = plain->GetByteSize();
    const uint64_t length = bytes == nullptr ? 0 : strnlen(bytes, size);
    Core::Ptr<DI::ISecureString> secure;
    Core::ErrorCode error;
    const bool ok = Data_CreateSecureString(secure.Receive(), bytes == nullptr ? "" : bytes, length, error.Receive());
    Wipe(plain->GetData(), size);
    if (error || !ok) {
        throw std::runtime_error(error ? std::string(error.Message()) : "Failed to create secure string");
    }
    return Variant::FromObject(secure, DS::VT_IObject);
}

std::string StringListJson(const Variant& value) {
    auto list = value.AsObject<DI::IObjectList>();
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartArray();
    for (uint64_t i = 0; i < list->GetCount(); ++i) {
        Core::Ptr<Core::IObject> item;
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return list->Get(i, item.Receive(), e); });
        const std::string text = Variant::FromObject(item, DS::VT_IObject).ToString();
        writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
    }
    writer.EndArray();
    return std::string(buffer.GetString(), buffer.GetSize());
}

Variant StringListFromJson(const char* data, uint64_t size) {
    rapidjson::Document parsed;
    parsed.Parse(data, size);
    if (parsed.HasParseError() || !parsed.IsArray()) {
        throw std::runtime_error(kInvalidJson);
    }
    Core::Ptr<DI::IObjectList> list;
    if (!Data_CreateObjectList(list.Receive()) || !list) {
        throw std::runtime_error("Failed to create object list");
    }
    for (const auto& element : parsed.GetArray()) {
        std::string text;
        if (element.IsString()) {
            text.assign(element.GetString(), element.GetStringLength());
        } else {
            // A number or an object in the list is kept as its JSON text.
            rapidjson::StringBuffer buffer;
            rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
            element.Accept(writer);
            text.assign(buffer.GetString(), buffer.GetSize());
        }
        auto item = NewString(text);
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return list->Append(item.Get(), e); });
    }
    return Variant::FromObject(list, DS::VT_StringList);
}

template <class Document>
Variant LoadDocument(bool (*create)(Document**), const char* text, uint64_t size, uint16_t typeCode) {
    Core::Ptr<Document> document;
    if (!create(document.Receive()) || !document) {
        throw std::runtime_error("Failed to create document");
    }
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return document->Load(text, size, e); });
    return Variant::FromObject(document, typeCode);
}

Variant WithPayload(uint16_t typeCode, const uint8_t* bytes, size_t size) {
    DS::_VARIANT raw{};
    raw.type = typeCode;
    std::memcpy(raw.bytes, bytes, size);
    return Variant::Adopt(raw);
}

ArrayPtr ObjectToBlob(const Variant& value, DI::IArray* secret) {
    auto object = value.AsObject<Core::IObject>();
    if (auto secure = object.TryCast<DI::ISecureString>()) {
        return EncryptSecureString(secure.Get(), secret);
    }
    if (auto enumeration = object.TryCast<DI::IEnum>()) {
        const char* text = enumeration->GetText();
        return BytesOf(text, text == nullptr ? 0 : std::strlen(text));
    }
    return {};
}

}  // namespace

Core::Ptr<DI::IArray> SecretBytes(DI::ISecureString* secret) {
    if (secret == nullptr) {
        return {};
    }
    return BytesOf(secret->GetText(), secret->GetLength());
}

Core::Ptr<DI::IArray> ValueToBlob(const Variant& value, DI::IArray* secret) {
    value.CheckDefined();
    const uint16_t type = value.Type();
    if (value.IsPrimitive() && value.Form() != DS::VF_Inline) {
        throw std::runtime_error(kNotValueType);
    }
    if (!value.HasData()) {
        return {};
    }
    const DS::_VARIANT& raw = value.Raw();
    switch (type) {
        case DS::VT_Int16:
        case DS::VT_UInt16:
            return LittleEndian(raw.u16, 2);
        case DS::VT_Int32:
        case DS::VT_UInt32:
            return LittleEndian(raw.u32, 4);
        case DS::VT_Int64:
        case DS::VT_UInt64:
            return LittleEndian(raw.u64, 8);
        case DS::VT_Int128:
        case DS::VT_UInt128:
        case DS::VT_Uuid:
            return BytesOf(raw.bytes, 16);
        case DS::VT_Byte:
        case DS::VT_SByte:
            return BytesOf(raw.bytes, 1);
        case DS::VT_Double: {
            uint64_t bits = 0;
            std::memcpy(&bits, &raw.f64, sizeof bits);
            return LittleEndian(bits, 8);
        }
        case DS::VT_Float: {
            uint32_t bits = 0;
            std::memcpy(&bits, &raw.f32, sizeof bits);
            return LittleEndian(bits, 4);
        }
        case DS::VT_Bool: {
            const uint8_t flag = raw.i32 != 0 ? 1 : 0;
            return BytesOf(&flag, 1);
        }
        case DS::VT_DateTime:
            return LittleEndian(value.AsDateTime()->GetFileTime(), 8);
        case DS::VT_String:
        case DS::VT_JsonDocument:
        case DS::VT_XmlDocument: {
            const std::string text = value.Text();
            return BytesOf(text.data(), text.size());
        }
        case DS::VT_Array:
            return value.AsArray();
        case DS::VT_StringList: {
            const std::string json = StringListJson(value);
            return BytesOf(json.data(), json.size());
        }
        case DS::VT_IObject:
            return ObjectToBlob(value, secret);
        default:
            return {};
    }
}

Variant BlobToValue(DI::IArray* blob, int32_t valueType, std::string_view interfaceType, DI::IArray* secret) {
    if (blob == nullptr) {
        return Variant();
    }
    const uint8_t* data = blob->GetData();
    const uint64_t size = data == nullptr ? 0 : blob->GetByteSize();
    const char* text = reinterpret_cast<const char*>(data);
    switch (valueType) {
        case DS::VT_Int16:
            return Variant::FromInt16(static_cast<int16_t>(ReadUnsigned(data, size, {1, 2})));
        case DS::VT_UInt16:
            return Variant::FromUInt16(static_cast<uint16_t>(ReadUnsigned(data, size, {1, 2})));
        case DS::VT_Int32:
            return Variant::FromInt32(static_cast<int32_t>(ReadUnsigned(data, size, {1, 2, 4})));
        case DS::VT_UInt32:
            return Variant::FromUInt32(static_cast<uint32_t>(ReadUnsigned(data, size, {1, 2, 4})));
        case DS::VT_Int64:
            return Variant::FromInt64(static_cast<int64_t>(ReadUnsigned(data, size, {1, 2, 4, 8})));
        case DS::VT_UInt64:
            return Variant::FromUInt64(ReadUnsigned(data, size, {1, 2, 4, 8}));
        case DS::VT_Int128:
        case DS::VT_UInt128:
        case DS::VT_Uuid:
            if (size != 16) {
                throw std::runtime_error(kBadBlobSize);
            }
            return WithPayload(static_cast<uint16_t>(valueType), data, 16);
        case DS::VT_Byte:
            return Variant::FromByte(static_cast<uint8_t>(ReadUnsigned(data, size, {1})));
        case DS::VT_SByte:
            // Sign-extended into an Int32, which is what readers of SByte properties have always received.
            return Variant::FromInt32(static_cast<int8_t>(ReadUnsigned(data, size, {1})));
        case DS::VT_Double: {
            const uint64_t bits = ReadUnsigned(data, size, {8});
            double number = 0;
            std::memcpy(&number, &bits, sizeof number);
            return Variant::FromDouble(number);
        }
        case DS::VT_Float: {
            const auto bits = static_cast<uint32_t>(ReadUnsigned(data, size, {4}));
            float number = 0;
            std::memcpy(&number, &bits, sizeof number);
            return Variant::FromFloat(number);
        }
        case DS::VT_Bool:
            if (size == 0) {
                throw std::runtime_error(kBadBlobSize);
            }
            return Variant::FromBool(data[0] != 0);
        case DS::VT_DateTime: {
            const uint64_t fileTime = ReadUnsigned(data, size, {8});
            Core::Ptr<DI::IDateTime> dateTime;
            Core::ThrowIfFailed(
                [&](Core::IErrorCode** e) { return Data_CreateDateTimeFromFileTime(fileTime, dateTime.Receive(), e); });
            return Variant::FromObject(dateTime, DS::VT_DateTime);
        }
        case DS::VT_String:
            return Variant::FromString(std::string_view(text, size));
        case DS::VT_JsonDocument:
            return LoadDocument<DI::IJsonDocument>(Data_CreateJsonDocument, size == 0 ? "" : text, size,
                                                   DS::VT_JsonDocument);
        case DS::VT_XmlDocument:
            return LoadDocument<DI::IXmlDocument>(Data_CreateXmlDocument, size == 0 ? "" : text, size,
                                                  DS::VT_XmlDocument);
        case DS::VT_Array:
            return Variant::FromObject(blob, DS::VT_Array);
        case DS::VT_StringList:
            return StringListFromJson(size == 0 ? "" : text, size);
        case DS::VT_IObject:
            if (interfaceType.find("ISecureString") != std::string_view::npos) {
                return DecryptSecureString(blob, secret);
            }
            if (interfaceType.find("IEnum") != std::string_view::npos) {
                const std::string name(text == nullptr ? "" : text, size);
                Core::Ptr<DI::IEnum> enumeration;
                Core::ThrowIfFailed(
                    [&](Core::IErrorCode** e) { return Data_CreateEnum(enumeration.Receive(), name.c_str(), e); });
                return Variant::FromObject(enumeration, DS::VT_IObject);
            }
            return Variant();
        default:
            return Variant();
    }
}

namespace {

// Column positions of the Properties columns in one table header.
struct PropertyColumns {
    int64_t valueType = -1;
    int64_t name = -1;
    int64_t description = -1;
    int64_t classType = -1;
    int64_t interfaceType = -1;
    int64_t required = -1;
    int64_t value = -1;
    int64_t group = -1;

    explicit PropertyColumns(DI::ITableHeader* header) {
        valueType = Required(header, "PropertyValueType");
        name = Required(header, "PropertyName");
        description = Required(header, "PropertyDescription");
        classType = Required(header, "PropertyClassType");
        interfaceType = Required(header, "PropertyInterfaceType");
        required = Required(header, "IsRequired");
        value = Required(header, "PropertyValue");
        group = header->FindColumn("PropertyGroup");
    }

    static int64_t Required(DI::ITableHeader* header, const char* column) {
        const int64_t index = header->FindColumn(column);
        if (index < 0) {
            throw std::runtime_error(Core::StringFormat("Property rows have no column %s", column));
        }
        return index;
    }
};

Variant Cell(const RowPtr& row, int64_t index) {
    return CellAt(row, static_cast<uint32_t>(index));
}

// The bytes of a cell that holds text or a blob; empty for anything else.
std::string RawBytes(const Variant& cell) {
    if (cell.Type() == DS::VT_Array) {
        auto array = cell.AsArray();
        return array && array->GetData() != nullptr
                   ? std::string(reinterpret_cast<const char*>(array->GetData()), array->GetByteSize())
                   : std::string();
    }
    return cell.Text();
}

bool ReadRequiredFlag(const Variant& cell) {
    const uint16_t type = cell.Type();
    if (type == DS::VT_Double || type == DS::VT_Float) {
        return static_cast<int64_t>(cell.ToDouble()) != 0;
    }
    return static_cast<int32_t>(cell.ToInt64()) != 0;
}

}  // namespace

void TableToProperties(DI::IProperties* properties, const PropertyRows& rows, DI::IArray* secret) {
    Core::CheckNotNull(properties);
    DI::ITableHeader* lastHeader = nullptr;
    Core::Ptr<DI::ITableHeader> header;
    std::unique_ptr<PropertyColumns> columns;
    for (const RowPtr& row : rows) {
        // Rows may come from the main and the insert table alike; their columns are looked up once per table.
        header = HeaderOf(row);
        if (header.GetUnchecked() != lastHeader || !columns) {
            columns = std::make_unique<PropertyColumns>(header.Get());
            lastHeader = header.GetUnchecked();
        }
        const auto valueType = static_cast<int32_t>(Cell(row, columns->valueType).ToInt64());
        const std::string name = Cell(row, columns->name).ToString();
        const std::string interfaceType = Cell(row, columns->interfaceType).ToString();
        if (properties->Contains(name.c_str())) {
            Core::Log(Core::LogError, Core::StringFormat("Property %s (%s) is already registered!", name.c_str(),
                                                         interfaceType.c_str()));
            continue;
        }
        const bool required = ReadRequiredFlag(Cell(row, columns->required));
        const std::string classType = Cell(row, columns->classType).ToString();
        const std::string description = Cell(row, columns->description).ToString();
        // The group is kept too, so that a set reads back as it was written.
        const std::string group = columns->group >= 0 ? Cell(row, columns->group).ToString() : std::string();
        Core::ThrowIfFailed([&](Core::IErrorCode** e) {
            return properties->Register(group.c_str(), name.c_str(), description.c_str(), interfaceType.c_str(),
                                        classType.c_str(), valueType, required, e);
        });

        const Variant cell = Cell(row, columns->value);
        if (!cell.HasData()) {
            continue;
        }
        Variant decoded = cell;
        if (cell.Type() == DS::VT_String) {
            const std::string text = cell.Text();
            auto blob = BytesOf(text.data(), text.size());
            decoded = BlobToValue(blob.Get(), valueType, interfaceType, secret);
        } else if (cell.Type() == DS::VT_Array) {
            decoded = BlobToValue(cell.AsArray().Get(), valueType, interfaceType, secret);
        }
        if (!decoded.HasData()) {
            decoded = Variant::FromString(RawBytes(cell));
        }
        Core::ThrowIfFailed(
            [&](Core::IErrorCode** e) { return properties->SetValue(name.c_str(), &decoded.Raw(), e); });
    }
}

namespace {

// Where each column of a property row is, found once per call instead of once per cell; -1 for a column
// the table lacks, which fails at the first cell set in it, as setting it by name would.
struct WrittenPropertyColumns {
    explicit WrittenPropertyColumns(DI::ITable* table)
        : uuid(table->FindColumn("Uuid")),
          owner(table->FindColumn("WorkspaceObjectUuid")),
          group(table->FindColumn("PropertyGroup")),
          name(table->FindColumn("PropertyName")),
          description(table->FindColumn("PropertyDescription")),
          valueType(table->FindColumn("PropertyValueType")),
          interfaceType(table->FindColumn("PropertyInterfaceType")),
          classType(table->FindColumn("PropertyClassType")),
          value(table->FindColumn("PropertyValue")),
          isRequired(table->FindColumn("IsRequired")) {}
    int64_t uuid, owner, group, name, description, valueType, interfaceType, classType, value, isRequired;
};

void SetCell(const RowPtr& row, int64_t column, const Variant& value) {
    Core::ErrorCode error;
    if (column < 0 || !row->SetCell(static_cast<uint32_t>(column), &value.Raw(), error.Receive()) || error) {
        throw std::runtime_error(kSetCellFailed);
    }
}

Core::Ptr<DI::IProperties> NestedSetOf(const Variant& value) {
    if (value.Type() != DS::VT_IObject || !value.IsReference() || !value.HasData()) {
        return {};
    }
    return value.AsObject<Core::IObject>().TryCast<DI::IProperties>();
}

Variant TextValue(const char* text) {
    return Variant::FromCompactString(text == nullptr ? std::string_view() : std::string_view(text));
}

Uuid NewUuid() {
    Uuid uuid{};
    if (!Data_NewUuid(&uuid)) {
        throw std::runtime_error("Failed to create a UUID");
    }
    return uuid;
}

std::string OwnerKey(const Variant& cell) {
    // Loaded rows hold Uuid values, new rows their text: both become the lower-case text.
    return UuidToText(cell.ToUuid());
}

}  // namespace

void PropertiesToRows(DI::IProperties* properties, const Uuid& owner, DI::ITable* table, DI::IArray* secret) {
    Core::CheckNotNull(properties);
    Core::CheckNotNull(table);
    const WrittenPropertyColumns columns(table);
    std::deque<std::pair<Uuid, Core::Ptr<DI::IProperties>>> pending;
    std::unordered_set<DI::IProperties*> seen{properties};
    pending.emplace_back(owner, Core::Ptr<DI::IProperties>(properties));
    while (!pending.empty()) {
        auto [setOwner, set] = std::move(pending.front());
        pending.pop_front();
        for (uint64_t i = 0; i < set->GetCount(); ++i) {
            Core::Ptr<DI::IProperty> property;
            Core::ThrowIfFailed([&](Core::IErrorCode** e) { return set->GetProperty(i, property.Receive(), e); });
            Variant value;
            property->GetValue(value.Receive());

            RowPtr row;
            Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table->NewRow(row.Receive(), e); });
            // UUIDs are kept as values, as a loaded row holds them; they are written as their text.
            SetCell(row, columns.uuid, Variant::FromUuid(NewUuid()));
            SetCell(row, columns.owner, Variant::FromUuid(setOwner));
            SetCell(row, columns.group, TextValue(property->GetGroup()));
            SetCell(row, columns.name, TextValue(property->GetName()));
            SetCell(row, columns.description, TextValue(property->GetDescription()));
            // An unset property keeps its declared type, so that it reads back declared the same way.
            SetCell(row, columns.valueType,
                    Variant::FromInt32(value.HasData() ? value.Type() : property->GetValueType()));
            SetCell(row, columns.classType, TextValue(property->GetClassType()));
            SetCell(row, columns.isRequired, Variant::FromBool(property->IsRequired()));

            if (auto nested = NestedSetOf(value)) {
                if (!seen.insert(nested.GetUnchecked()).second) {
                    throw std::runtime_error(Core::StringFormat(
                        "Property %s holds a property set that is already stored above it", property->GetName()));
                }
                const Uuid nestedOwner = NewUuid();
                const std::string reference = UuidToText(nestedOwner);
                SetCell(row, columns.interfaceType, Variant::FromString(kNestedPropertiesInterface));
                SetCell(row, columns.value,
                        Variant::FromObject(BytesOf(reference.data(), reference.size()), DS::VT_Array));
                pending.emplace_back(nestedOwner, nested);
                continue;
            }
            SetCell(row, columns.interfaceType, TextValue(property->GetInterfaceType()));
            ArrayPtr blob = ValueToBlob(value, secret);
            SetCell(row, columns.value, blob ? Variant::FromObject(blob, DS::VT_Array) : Variant());
        }
    }
}

namespace {

using RowsByOwner = std::unordered_map<std::string, PropertyRows>;

Core::Ptr<DI::IProperties> BuildSet(const std::string& owner, const RowsByOwner& byOwner, DI::IArray* secret,
                                    std::unordered_set<std::string>& path) {
    Core::Ptr<DI::IProperties> set;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return Data_CreateProperties(set.Receive(), e); });
    const auto found = byOwner.find(owner);
    if (found == byOwner.end()) {
        return set;
    }
    TableToProperties(set.Get(), found->second, secret);
    path.insert(owner);
    for (uint64_t i = 0; i < set->GetCount(); ++i) {
        Core::Ptr<DI::IProperty> property;
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return set->GetProperty(i, property.Receive(), e); });
        if (std::string_view(property->GetInterfaceType()) != kNestedPropertiesInterface || !property->HasValue()) {
            continue;
        }
        Variant reference;
        property->GetValue(reference.Receive());
        const std::string nestedOwner = UuidToText(UuidFromText(reference.Text()));
        if (path.count(nestedOwner) != 0) {
            throw std::runtime_error(
                Core::StringFormat("Property %s refers back to a property set that contains it", property->GetName()));
        }
        auto nested = BuildSet(nestedOwner, byOwner, secret, path);
        const Variant value = Variant::FromObject(nested, DS::VT_IObject);
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return set->SetValue(property->GetName(), &value.Raw(), e); });
    }
    path.erase(owner);
    return set;
}

}  // namespace

Core::Ptr<DI::IProperties> PropertiesOfOwner(const Uuid& owner, const PropertyRows& rows, DI::IArray* secret) {
    RowsByOwner byOwner;
    for (const RowPtr& row : rows) {
        byOwner[OwnerKey(CellNamed(row, "WorkspaceObjectUuid"))].push_back(row);
    }
    std::unordered_set<std::string> path;
    return BuildSet(UuidToText(owner), byOwner, secret, path);
}

}  // namespace Vesk::Data
