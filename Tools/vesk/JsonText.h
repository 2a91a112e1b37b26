#pragma once
// Texts in the tool's JSON output, written with their length so that any byte of them, zero included,
// goes out escaped as it stands.
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <string>

namespace VeskTool {

using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;

inline void WriteJsonText(JsonWriter& writer, const std::string& text) {
    writer.String(text.c_str(), static_cast<rapidjson::SizeType>(text.size()));
}

// A member "key": text of the object being written.
inline void WriteJsonMember(JsonWriter& writer, const char* key, const std::string& text) {
    writer.Key(key);
    WriteJsonText(writer, text);
}

}  // namespace VeskTool
