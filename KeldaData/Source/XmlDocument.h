#pragma once
#include <pugixml.hpp>

#include <string>

#include "Core/Object.h"
#include "Vesk/Data/IDocument.h"

namespace Data::impl {

// A parsed XML document with exactly one root element. Text that does not parse leaves the
// document invalid (and empty) instead of failing, as for JSON.
class XmlDocumentImpl final : public Core::ObjectT<Interfaces::IXmlDocument> {
public:
    XmlDocumentImpl() = default;

    bool Load(const char* text, uint64_t length, Core::IErrorCode** error) override;
    bool Render(Interfaces::IString** text, Core::IErrorCode** error) override;
    bool IsValid() override { return valid_; }
    bool Equals(Interfaces::IXmlDocument* other) override;

    // The XML declaration and the compact document; empty for an invalid document.
    std::string RenderText() const;

private:
    ~XmlDocumentImpl() override = default;
    pugi::xml_document document_;
    bool valid_ = false;
};

}  // namespace Data::impl
