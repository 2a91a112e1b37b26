#pragma once
#include <rapidjson/document.h>

#include <string>

#include "Core/Object.h"
#include "Vesk/Data/IDocument.h"

namespace Data::impl {

// A parsed JSON value. Text that does not parse leaves the document invalid (and empty) instead of
// failing: callers load whatever a server or a database gave them and then ask IsValid.
class JsonDocumentImpl final : public Core::ObjectT<Interfaces::IJsonDocument> {
public:
    JsonDocumentImpl() = default;

    bool Load(const char* text, uint64_t length, Core::IErrorCode** error) override;
    bool Render(Interfaces::IString** text, Core::IErrorCode** error) override;
    bool IsValid() override { return valid_; }
    bool Equals(Interfaces::IJsonDocument* other) override;

    // Compact text; empty for an invalid document.
    std::string RenderText() const;

private:
    ~JsonDocumentImpl() override = default;
    rapidjson::Document document_;
    bool valid_ = false;
};

}  // namespace Data::impl
