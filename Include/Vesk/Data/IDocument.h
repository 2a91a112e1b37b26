#pragma once
#include <cstdint>

#include "Vesk/Data/IString.h"

namespace Data::Interfaces {

// A JSON document. Loading invalid text leaves the document invalid, not failed.
struct IJsonDocument : Core::IObject {
    virtual bool Load(const char* text, uint64_t length, Core::IErrorCode** error) = 0;
    virtual bool Render(IString** text, Core::IErrorCode** error) = 0;
    virtual bool IsValid() = 0;
    virtual bool Equals(IJsonDocument* other) = 0;
};

// An XML document.
struct IXmlDocument : Core::IObject {
    virtual bool Load(const char* text, uint64_t length, Core::IErrorCode** error) = 0;
    virtual bool Render(IString** text, Core::IErrorCode** error) = 0;
    virtual bool IsValid() = 0;
    virtual bool Equals(IXmlDocument* other) = 0;
};

}  // namespace Data::Interfaces
