#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "Common.h"
#include "Core/Guard.h"
#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Core/StringFormat.h"
#include "Vesk/Data/ITable.h"

namespace Data::impl {

// One column: a name fixed at creation, a value type and three flags. New columns take null values
// and are not unique, which is what a column read from a query result is.
class ColumnImpl final : public Core::ObjectT<Interfaces::IColumn> {
public:
    ColumnImpl(std::string name, int32_t valueType) : name_(std::move(name)), valueType_(valueType) {}

    const char* GetName() override { return name_.c_str(); }
    int32_t GetValueType() override { return valueType_; }
    bool IsNullable() override { return nullable_; }
    bool AllowsDbNull() override { return allowsDbNull_; }
    bool IsUnique() override { return unique_; }
    void SetNullable(bool nullable) override { nullable_ = nullable; }
    void SetAllowsDbNull(bool allows) override { allowsDbNull_ = allows; }
    void SetUnique(bool unique) override { unique_ = unique; }

    const std::string& Name() const { return name_; }
    // A new column of the same name, type and flags.
    Core::Ptr<ColumnImpl> Clone() const;

private:
    ~ColumnImpl() override = default;
    std::string name_;
    int32_t valueType_;
    bool nullable_ = true;
    bool allowsDbNull_ = true;
    bool unique_ = false;
};

// The name, the columns with their name index, and the key column: the part that a table and a
// stand-alone header share. Interface is ITableHeader or an interface derived from it.
template <class Interface>
class HeaderT : public Core::ObjectT<Interface> {
public:
    const char* GetName() override { return name_.c_str(); }
    bool SetName(const char* name, Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] {
            Core::CheckNotNull(name);
            name_ = name;
        });
    }
    uint32_t GetColumnCount() override { return static_cast<uint32_t>(columns_.size()); }
    bool GetColumn(uint32_t index, Interfaces::IColumn** column, Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] {
            Core::CheckOut(column);
            if (index >= columns_.size()) {
                throw std::runtime_error(
                    Core::StringFormat("Column index %u is out of range (%u columns)", index, GetColumnCount()));
            }
            Core::HandOut(columns_[index], column);
        });
    }
    int64_t FindColumn(const char* name) override { return name == nullptr ? -1 : ColumnIndex(name); }
    bool AddColumn(const char* name, int32_t valueType, Interfaces::IColumn** column,
                   Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] {
            Core::CheckNotNull(name);
            if (column != nullptr) {
                Core::CheckOut(column);
            }
            auto added = AppendColumn(name, valueType);
            if (column != nullptr) {
                Core::HandOut(std::move(added), column);
            }
        });
    }
    const char* GetKeyColumn() override { return keyColumn_ < 0 ? "" : columns_[keyColumn_]->GetName(); }
    bool SetKeyColumn(const char* name, Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] {
            Core::CheckNotNull(name);
            // An empty name takes the key away.
            const int64_t index = *name == '\0' ? -1 : ColumnIndex(name);
            if (index < 0 && *name != '\0') {
                throw std::runtime_error(Core::StringFormat("Column %s not found", name));
            }
            const int64_t previous = keyColumn_;
            keyColumn_ = index;
            try {
                KeyColumnChanged();
            } catch (...) {
                keyColumn_ = previous;
                KeyColumnChanged();
                throw;
            }
        });
    }

    // The index of the column of that exact name, or -1.
    int64_t ColumnIndex(std::string_view name) const {
        const auto found = columnIndex_.find(name);
        return found == columnIndex_.end() ? -1 : static_cast<int64_t>(found->second);
    }
    int64_t KeyColumnIndex() const { return keyColumn_; }
    const std::vector<Core::Ptr<ColumnImpl>>& Columns() const { return columns_; }

    // Takes name, columns (as copies) and key column from another header.
    template <class Other>
    void CopyHeaderFrom(const HeaderT<Other>& other) {
        name_ = other.NameText();
        for (const auto& column : other.Columns()) {
            columnIndex_.emplace(column->Name(), static_cast<uint32_t>(columns_.size()));
            columns_.push_back(column->Clone());
        }
        keyColumn_ = other.KeyColumnIndex();
    }
    const std::string& NameText() const { return name_; }

    // Appends a column after checking its name and type; the hook runs once it is in place.
    Core::Ptr<ColumnImpl> AppendColumn(std::string_view name, int32_t valueType) {
        if (name.empty()) {
            throw std::runtime_error("A column needs a name");
        }
        if (valueType < 0 || valueType > Structures::VT_Reserved) {
            throw std::runtime_error(
                Core::StringFormat("Column %s has an invalid value type %d", std::string(name).c_str(), valueType));
        }
        if (ColumnIndex(name) >= 0) {
            throw std::runtime_error(Core::StringFormat("Column %s already exists", std::string(name).c_str()));
        }
        auto column = Core::MakeObject<ColumnImpl>(std::string(name), valueType);
        ReserveOneMore(columns_);
        columnIndex_.emplace(column->Name(), static_cast<uint32_t>(columns_.size()));
        columns_.push_back(column);
        try {
            ColumnAdded();
        } catch (...) {
            columnIndex_.erase(column->Name());
            columns_.pop_back();
            throw;
        }
        return column;
    }

protected:
    HeaderT() = default;
    ~HeaderT() override = default;

private:
    // Called after a column was appended, and after the key column changed (or went away).
    virtual void ColumnAdded() {}
    virtual void KeyColumnChanged() {}

    std::string name_;
    std::vector<Core::Ptr<ColumnImpl>> columns_;
    std::unordered_map<std::string, uint32_t, StringHash, std::equal_to<>> columnIndex_;
    int64_t keyColumn_ = -1;
};

// A header on its own: what a row keeps once it no longer belongs to a table.
class TableHeaderImpl final : public HeaderT<Interfaces::ITableHeader> {
public:
    TableHeaderImpl() = default;

private:
    ~TableHeaderImpl() override = default;
};

}  // namespace Data::impl
