#include "Vesk/Workspace/WorkspaceRows.h"

#include <stdexcept>

#include "Core/ErrorCode.h"
#include "Core/Guard.h"
#include "Vesk/Data/KeldaData.h"

namespace Vesk::Workspace::impl {

namespace DS = Data::Structures;
using Data::Variant;

Variant KeyOf(const Data::Uuid& uuid) {
    return Variant::FromUuid(uuid);
}

Variant UuidCell(const Data::Uuid& uuid) {
    return Variant::FromString(Data::UuidToText(uuid));
}

std::string UuidKey(const Data::Uuid& uuid) {
    return std::string(reinterpret_cast<const char*>(uuid.bytes), sizeof uuid.bytes);
}

bool UuidOfCell(const Variant& cell, Data::Uuid* uuid) {
    if (cell.Type() == DS::VT_Uuid) {
        *uuid = cell.ToUuid();
        return true;
    }
    if (cell.Type() == DS::VT_String) {
        const std::string text = cell.Text();
        if (text.empty()) {
            return false;
        }
        *uuid = Data::UuidFromText(text);
        return true;
    }
    return false;
}

std::string TextOfCell(const Variant& cell) {
    if (!cell.HasData()) {
        return {};
    }
    if (cell.Type() == DS::VT_String) {
        return cell.Text();
    }
    return cell.ToString();
}

bool CellTextEquals(const Variant& cell, const std::string& text) {
    return cell.Type() == DS::VT_String && cell.HasData() && cell.Text() == text;
}

Core::Ptr<Data::Interfaces::IDateTime> DateTimeOfCell(const Variant& cell) {
    if (cell.Type() == DS::VT_DateTime) {
        return cell.AsDateTime();
    }
    Core::Ptr<Data::Interfaces::IDateTime> parsed;
    const std::string text = cell.ToString();
    Core::ThrowIfFailed(
        [&](Core::IErrorCode** e) { return Data_CreateDateTimeFromIso8601(text.c_str(), parsed.Receive(), e); });
    return parsed;
}

void SetCellNamed(const Core::Ptr<Data::Interfaces::IRow>& row, const char* column, const Variant& value) {
    Core::ErrorCode error;
    if (!row->SetCellByName(column, &value.Raw(), error.Receive()) || error) {
        throw std::runtime_error("Error while setting cell value");
    }
}

}  // namespace Vesk::Workspace::impl
