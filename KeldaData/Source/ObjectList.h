#pragma once
#include <vector>

#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Vesk/Data/IObjectList.h"

namespace Data::impl {

// The message for an index past the end of either list kind; callers match on it.
inline constexpr char kListIndexOutOfBounds[] = "ObjectList index out of bounds";

// A list of objects; it holds one reference to each item.
class ObjectListImpl final : public Core::ObjectT<Interfaces::IObjectList> {
public:
    ObjectListImpl() = default;

    bool Append(Core::IObject* item, Core::IErrorCode** error) override;
    uint64_t GetCount() override { return items_.size(); }
    bool Get(uint64_t index, Core::IObject** item, Core::IErrorCode** error) override;

private:
    ~ObjectListImpl() override = default;
    std::vector<Core::Ptr<Core::IObject>> items_;
};

}  // namespace Data::impl
