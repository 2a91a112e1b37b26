#include "XmlDocument.h"

#include <cstring>
#include <sstream>

#include "Core/Guard.h"
#include "String.h"

namespace Data::impl {

namespace {

constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

// pugixml accepts fragments with several top-level elements; a document has exactly one.
bool HasSingleRoot(const pugi::xml_document& document) {
    int elements = 0;
    for (const pugi::xml_node& node : document.children()) {
        if (node.type() == pugi::node_element) {
            ++elements;
        }
    }
    return elements == 1;
}

bool LoadDocument(pugi::xml_document& document, const char* text, size_t length) {
    const pugi::xml_parse_result result =
        document.load_buffer(text == nullptr ? "" : text, length, pugi::parse_default, pugi::encoding_utf8);
    return result && HasSingleRoot(document);
}

bool SameAttributes(const pugi::xml_node& left, const pugi::xml_node& right) {
    size_t count = 0;
    for (const pugi::xml_attribute& attribute : left.attributes()) {
        const pugi::xml_attribute match = right.attribute(attribute.name());
        if (!match || std::strcmp(attribute.value(), match.value()) != 0) {
            return false;
        }
        ++count;
    }
    // Attribute order carries no meaning in XML; equal counts plus a match for each is equality.
    return count == static_cast<size_t>(std::distance(right.attributes_begin(), right.attributes_end()));
}

bool SameNode(const pugi::xml_node& left, const pugi::xml_node& right) {
    if (left.type() != right.type() || std::strcmp(left.name(), right.name()) != 0 ||
        std::strcmp(left.value(), right.value()) != 0 || !SameAttributes(left, right)) {
        return false;
    }
    pugi::xml_node a = left.first_child();
    pugi::xml_node b = right.first_child();
    for (; a && b; a = a.next_sibling(), b = b.next_sibling()) {
        if (!SameNode(a, b)) {
            return false;
        }
    }
    return !a && !b;
}

}  // namespace

bool XmlDocumentImpl::Load(const char* text, uint64_t length, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        if (length != 0) {
            Core::CheckNotNull(text);
        }
        valid_ = LoadDocument(document_, text, length);
        if (!valid_) {
            document_.reset();
        }
    });
}

std::string XmlDocumentImpl::RenderText() const {
    if (!valid_) {
        return {};
    }
    std::ostringstream stream;
    stream << kDeclaration;
    document_.save(stream, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return stream.str();
}

bool XmlDocumentImpl::Render(Interfaces::IString** text, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(text);
        Core::HandOut(MakeString(RenderText()), text);
    });
}

bool XmlDocumentImpl::Equals(Interfaces::IXmlDocument* other) {
    if (other == nullptr) {
        return false;
    }
    try {
        if (auto* mine = dynamic_cast<XmlDocumentImpl*>(other)) {
            if (!valid_ || !mine->valid_) {
                return valid_ == mine->valid_;
            }
            return SameNode(document_, mine->document_);
        }
        // A document of another implementation is compared through its text.
        Core::Ptr<Interfaces::IString> rendered;
        if (!other->Render(rendered.Receive(), nullptr) || !rendered) {
            return false;
        }
        pugi::xml_document parsed;
        const bool otherValid = LoadDocument(parsed, rendered->GetText(), rendered->GetLength());
        if (!valid_ || !otherValid) {
            return valid_ == otherValid;
        }
        return SameNode(document_, parsed);
    } catch (...) {
        return false;
    }
}

}  // namespace Data::impl
