#include "JsonDocument.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "Core/Guard.h"
#include "String.h"

namespace Data::impl {

namespace {

// Full precision keeps every double exactly as written, so that render(load(text)) does not drift.
constexpr unsigned kParseFlags = rapidjson::kParseFullPrecisionFlag;

}  // namespace

bool JsonDocumentImpl::Load(const char* text, uint64_t length, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        if (length != 0) {
            Core::CheckNotNull(text);
        }
        rapidjson::Document parsed;
        parsed.Parse<kParseFlags>(text == nullptr ? "" : text, length);
        valid_ = !parsed.HasParseError();
        if (valid_) {
            document_.Swap(parsed);
        } else {
            document_.SetNull();
        }
    });
}

std::string JsonDocumentImpl::RenderText() const {
    if (!valid_) {
        return {};
    }
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    document_.Accept(writer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

bool JsonDocumentImpl::Render(Interfaces::IString** text, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(text);
        Core::HandOut(MakeString(RenderText()), text);
    });
}

bool JsonDocumentImpl::Equals(Interfaces::IJsonDocument* other) {
    if (other == nullptr) {
        return false;
    }
    if (auto* mine = dynamic_cast<JsonDocumentImpl*>(other)) {
        if (!valid_ || !mine->valid_) {
            return valid_ == mine->valid_;
        }
        // rapidjson compares objects by member set, arrays by order, numbers by value.
        return document_ == mine->document_;
    }
    // A document of another implementation is compared through its text.
    try {
        Core::Ptr<Interfaces::IString> rendered;
        if (!other->Render(rendered.Receive(), nullptr) || !rendered) {
            return false;
        }
        rapidjson::Document parsed;
        parsed.Parse<kParseFlags>(rendered->GetText(), rendered->GetLength());
        const bool otherValid = !parsed.HasParseError();
        if (!valid_ || !otherValid) {
            return valid_ == otherValid;
        }
        return document_ == parsed;
    } catch (...) {
        return false;
    }
}

}  // namespace Data::impl
