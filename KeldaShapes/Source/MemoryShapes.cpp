#include "Shapes/MemoryShapes.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "Core/Guard.h"
#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Vesk/Data/KeldaData.h"

namespace Shapes::impl {

namespace VI = Vesk::Interfaces;
namespace DS = Data::Structures;

// Fixed text: hosts match on it.
constexpr const char* kLayerGone =
    "Parent ShapeLayer does not exists anymore! ShapeLayer lifetime already ended before this ShapeObject";

// One owned value record: copying adds a reference to the object it holds, destruction releases it.
class OwnedValue {
public:
    OwnedValue() { DS::VariantClear(&raw_); }
    OwnedValue(const OwnedValue& other) { DS::VariantCopy(&raw_, &other.raw_); }
    OwnedValue& operator=(const OwnedValue& other) {
        if (this != &other) {
            Assign(other.raw_);
        }
        return *this;
    }
    ~OwnedValue() { DS::VariantClear(&raw_); }
    void Assign(const DS::_VARIANT& value) {
        DS::_VARIANT copy;
        DS::VariantCopy(&copy, &value);  // first, so that assigning a record to itself keeps its object
        DS::VariantClear(&raw_);
        raw_ = copy;
    }
    const DS::_VARIANT& Raw() const { return raw_; }

private:
    DS::_VARIANT raw_;
};

class BoundingBoxImpl final : public Core::ObjectT<VI::IBoundingBox3d> {
public:
    double GetMinX() override { return bounds_[0]; }
    double GetMinY() override { return bounds_[1]; }
    double GetMinZ() override { return bounds_[2]; }
    double GetMaxX() override { return bounds_[3]; }
    double GetMaxY() override { return bounds_[4]; }
    double GetMaxZ() override { return bounds_[5]; }
    void SetBounds(double minX, double minY, double minZ, double maxX, double maxY, double maxZ) override {
        bounds_ = {minX, minY, minZ, maxX, maxY, maxZ};
    }

private:
    ~BoundingBoxImpl() override = default;
    std::array<double, 6> bounds_{};
};

class SpatialReferenceImpl final : public Core::UnlockedObjectT<VI::ISpatialReference> {
public:
    SpatialReferenceImpl(int32_t identifier, std::string name) : identifier_(identifier), name_(std::move(name)) {}
    int32_t GetIdentifier() override { return identifier_; }
    const char* GetName() override { return name_.c_str(); }

private:
    ~SpatialReferenceImpl() override = default;
    int32_t identifier_;
    std::string name_;
};

class AttributeHeaderImpl final : public Core::UnlockedObjectT<VI::IAttributeHeader> {
public:
    AttributeHeaderImpl(std::string name, int32_t valueType, uint32_t index)
        : name_(std::move(name)), valueType_(valueType), index_(index) {}
    const char* GetName() override { return name_.c_str(); }
    int32_t GetValueType() override { return valueType_; }
    uint32_t GetIndex() override { return index_; }

private:
    ~AttributeHeaderImpl() override = default;
    std::string name_;
    int32_t valueType_;
    uint32_t index_;
};

class ShapeHeaderImpl final : public Core::ObjectT<VI::IShapeHeader> {
public:
    uint32_t GetAttributeCount() override { return static_cast<uint32_t>(columns_.size()); }

    bool GetAttribute(uint32_t index, VI::IAttributeHeader** attribute, Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] {
            Core::CheckOut(attribute);
            Core::HandOut(Column(index), attribute);
        });
    }

    int64_t FindAttribute(const char* name) override {
        if (name == nullptr) {
            return -1;
        }
        const auto found = byName_.find(name);
        return found == byName_.end() ? -1 : static_cast<int64_t>(found->second);
    }

    bool AddAttribute(const char* name, int32_t valueType, VI::IAttributeHeader** attribute,
                      Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] {
            if (attribute != nullptr) {
                Core::CheckOut(attribute);
            }
            if (name == nullptr || *name == '\0') {
                throw std::runtime_error("An attribute needs a name!");
            }
            if (byName_.count(name) != 0) {
                throw std::runtime_error(std::string("Attribute already exists: ") + name);
            }
            const auto index = static_cast<uint32_t>(columns_.size());
            auto column = Core::MakeObject<AttributeHeaderImpl>(name, valueType, index);
            columns_.push_back(column);
            byName_.emplace(name, index);
            if (attribute != nullptr) {
                Core::HandOut(column, attribute);
            }
        });
    }

    bool GetCompoundReference(VI::ISpatialReference** reference, Core::IErrorCode** error) override {
        return HandOutReference(VI::SRK_Compound, reference, error);
    }
    bool GetProjectedReference(VI::ISpatialReference** reference, Core::IErrorCode** error) override {
        return HandOutReference(VI::SRK_Projected, reference, error);
    }
    bool GetGeographicReference(VI::ISpatialReference** reference, Core::IErrorCode** error) override {
        return HandOutReference(VI::SRK_Geographic, reference, error);
    }

    bool SetReference(int32_t kind, VI::ISpatialReference* reference, Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] {
            CheckKind(kind);
            references_[static_cast<size_t>(kind)] = Core::Ptr<VI::ISpatialReference>(reference);
        });
    }

    Core::Ptr<AttributeHeaderImpl> Column(uint32_t index) const {
        if (index >= columns_.size()) {
            throw std::runtime_error("Attribute index " + std::to_string(index) + " is out of range!");
        }
        return columns_[index];
    }

private:
    ~ShapeHeaderImpl() override = default;

    static void CheckKind(int32_t kind) {
        if (kind < 0 || kind >= static_cast<int32_t>(kReferenceKinds)) {
            throw std::runtime_error("Unknown spatial reference kind " + std::to_string(kind) + "!");
        }
    }

    bool HandOutReference(int32_t kind, VI::ISpatialReference** reference, Core::IErrorCode** error) {
        return Core::AbiGuard(error, [&] {
            Core::CheckOut(reference);
            Core::HandOut(references_[static_cast<size_t>(kind)], reference);
        });
    }

    static constexpr size_t kReferenceKinds = 3;
    std::vector<Core::Ptr<AttributeHeaderImpl>> columns_;
    std::unordered_map<std::string, uint32_t> byName_;
    std::array<Core::Ptr<VI::ISpatialReference>, kReferenceKinds> references_;
};

class MemoryLayerImpl;

// What a shape knows of its layer: the layer clears the pointer, under the mutex, in the same step
// in which its last reference goes, so a shape never hands out a layer that is being destroyed.
struct LayerLink {
    std::mutex mutex;
    MemoryLayerImpl* layer = nullptr;  // guarded by mutex
};

class MemoryShapeImpl final : public Core::ObjectT<VI::IShapeObject> {
public:
    MemoryShapeImpl(std::shared_ptr<LayerLink> link, Core::Ptr<ShapeHeaderImpl> header)
        : link_(std::move(link)), header_(std::move(header)), box_(Core::MakeObject<BoundingBoxImpl>()) {
        if (!Data_CreateArray(geometry_.Receive())) {
            throw std::runtime_error("Cannot create the geometry array of a shape");
        }
    }

    bool GetLayer(VI::IShapeLayer** layer, Core::IErrorCode** error) override;

    bool GetHeader(VI::IShapeHeader** header, Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] {
            Core::CheckOut(header);
            Core::HandOut(header_, header);
        });
    }

    uint32_t GetAttributeCount() override { return header_->GetAttributeCount(); }

    bool GetAttribute(uint32_t index, VI::IAttributeValue** value, Core::IErrorCode** error) override;
    bool GetAttributeByName(const char* name, VI::IAttributeValue** value, Core::IErrorCode** error) override;

    bool GetGeometry(Data::Interfaces::IArray** wkb, Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] {
            Core::CheckOut(wkb);
            Core::HandOut(geometry_, wkb);
        });
    }

    bool SetGeometry(const void* wkb, uint64_t size, Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] {
            if (wkb == nullptr && size != 0) {
                throw std::runtime_error("Geometry bytes must not be null!");
            }
            Core::ThrowIfFailed([&](Core::IErrorCode** e) { return geometry_->Assign(wkb, 1, size, e); });
        });
    }

    bool GetBoundingBox(VI::IBoundingBox3d** box, Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] {
            Core::CheckOut(box);
            Core::HandOut(box_, box);
        });
    }

    // The cell of column index; a column added after the shape was made starts as Null.
    OwnedValue& Cell(uint32_t index) {
        header_->Column(index);  // throws for an index beyond the columns
        if (index >= values_.size()) {
            values_.resize(index + 1);
        }
        return values_[index];
    }

private:
    ~MemoryShapeImpl() override = default;

    std::shared_ptr<LayerLink> link_;
    Core::Ptr<ShapeHeaderImpl> header_;
    Core::Ptr<Data::Interfaces::IArray> geometry_;
    Core::Ptr<BoundingBoxImpl> box_;
    std::vector<OwnedValue> values_;
};

class AttributeValueImpl final : public Core::ObjectT<VI::IAttributeValue> {
public:
    AttributeValueImpl(Core::Ptr<MemoryShapeImpl> shape, Core::Ptr<AttributeHeaderImpl> column)
        : shape_(std::move(shape)), column_(std::move(column)) {}

    bool GetHeader(VI::IAttributeHeader** header, Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] {
            Core::CheckOut(header);
            Core::HandOut(column_, header);
        });
    }

    bool GetValue(DS::_VARIANT* value, Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] {
            Core::CheckNotNull(value);
            DS::VariantCopy(value, &shape_->Cell(column_->GetIndex()).Raw());
        });
    }

    bool SetValue(const DS::_VARIANT* value, Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] {
            Core::CheckNotNull(value);
            if (DS::VariantTypeCode(*value) > DS::VT_Reserved) {
                throw std::runtime_error("Variant type is undefined!");
            }
            shape_->Cell(column_->GetIndex()).Assign(*value);
        });
    }

private:
    ~AttributeValueImpl() override = default;
    Core::Ptr<MemoryShapeImpl> shape_;
    Core::Ptr<AttributeHeaderImpl> column_;
};

bool MemoryShapeImpl::GetAttribute(uint32_t index, VI::IAttributeValue** value, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(value);
        Core::HandOut(Core::MakeObject<AttributeValueImpl>(Core::Ptr<MemoryShapeImpl>(this), header_->Column(index)),
                      value);
    });
}

bool MemoryShapeImpl::GetAttributeByName(const char* name, VI::IAttributeValue** value, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(value);
        const int64_t index = header_->FindAttribute(name);
        if (index < 0) {
            throw std::runtime_error(std::string("Unknown attribute: ") + (name != nullptr ? name : "(null)"));
        }
        Core::HandOut(Core::MakeObject<AttributeValueImpl>(Core::Ptr<MemoryShapeImpl>(this),
                                                           header_->Column(static_cast<uint32_t>(index))),
                      value);
    });
}

// The layer counts its references itself: its last Release must clear the link under the link's
// mutex, which the shared count base cannot do.
class MemoryLayerImpl final : public VI::IShapeLayer {
public:
    explicit MemoryLayerImpl(std::string name)
        : name_(std::move(name)), header_(Core::MakeObject<ShapeHeaderImpl>()), link_(std::make_shared<LayerLink>()) {
        link_->layer = this;
    }

    void AddReference() override { count_.fetch_add(1, std::memory_order_relaxed); }
    uint32_t Release() override {
        std::unique_lock<std::mutex> guard(link_->mutex);
        const int32_t remaining = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (remaining > 0) {
            return static_cast<uint32_t>(remaining);
        }
        link_->layer = nullptr;
        guard.unlock();
        delete this;
        return 0;
    }
    void Lock() override { mutex_.lock(); }
    bool TryLock() override { return mutex_.try_lock(); }
    void Unlock() override { mutex_.unlock(); }

    const char* GetName() override { return name_.c_str(); }

    bool GetHeader(VI::IShapeHeader** header, Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] {
            Core::CheckOut(header);
            Core::HandOut(header_, header);
        });
    }

    uint64_t GetShapeCount() override { return shapes_.size(); }

    bool GetShape(uint64_t index, VI::IShapeObject** shape, Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] {
            Core::CheckOut(shape);
            if (index >= shapes_.size()) {
                throw std::runtime_error("Shape index " + std::to_string(index) + " is out of range!");
            }
            Core::HandOut(shapes_[index], shape);
        });
    }

    bool CreateShape(VI::IShapeObject** shape, Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] {
            if (shape != nullptr) {
                Core::CheckOut(shape);
            }
            auto created = Core::MakeObject<MemoryShapeImpl>(link_, header_);
            shapes_.push_back(created);
            if (shape != nullptr) {
                Core::HandOut(created, shape);
            }
        });
    }

private:
    ~MemoryLayerImpl() override = default;

    std::atomic<int32_t> count_{1};
    std::mutex mutex_;
    std::string name_;
    Core::Ptr<ShapeHeaderImpl> header_;
    std::shared_ptr<LayerLink> link_;
    std::vector<Core::Ptr<MemoryShapeImpl>> shapes_;
};

bool MemoryShapeImpl::GetLayer(VI::IShapeLayer** layer, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(layer);
        std::lock_guard<std::mutex> guard(link_->mutex);
        if (link_->layer == nullptr) {
            throw std::runtime_error(kLayerGone);
        }
        link_->layer->AddReference();
        *layer = link_->layer;
    });
}

}  // namespace Shapes::impl

namespace Shapes {

bool CreateMemoryLayer(const char* name, Vesk::Interfaces::IShapeLayer** layer, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(layer);
        Core::CheckNotNull(name);
        *layer = new impl::MemoryLayerImpl(name);
    });
}

bool CreateSpatialReference(int32_t identifier, const char* name, Vesk::Interfaces::ISpatialReference** reference,
                            Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(reference);
        Core::CheckNotNull(name);
        Core::HandOut(Core::MakeObject<impl::SpatialReferenceImpl>(identifier, name), reference);
    });
}

bool CreateBoundingBox(Vesk::Interfaces::IBoundingBox3d** box, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(box);
        Core::HandOut(Core::MakeObject<impl::BoundingBoxImpl>(), box);
    });
}

}  // namespace Shapes
