#pragma once
// Property values as the command line gives them and as the tool shows them.
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "Handle.h"
#include "Vesk/Data/IProperties.h"

namespace VeskTool {

// One --prop KEY[:TYPE]=VALUE or --secure-prop KEY of a command line.
struct PropertyArgument {
    std::string name;
    std::string type;  // string, int, double, bool, datetime, uuid or json; secure for a --secure-prop
    std::string value;
};

// Parses KEY=VALUE (a string) or KEY:TYPE=VALUE; throws UsageError for an empty key, an unknown type or a
// value that is not of its type (a datetime is ISO 8601 text from 1601 on, a json value one JSON document).
PropertyArgument ParsePropertyArgument(const std::string& text);

// The argument of --secure-prop KEY, whose value is read later from standard input.
PropertyArgument SecurePropertyArgument(const std::string& name);

// Builds a new property set from arguments, in order; each secure one takes the next line of in as its
// value. Throws UsageError when in has no line left for one, LibraryError when the library refuses.
Handle<Data::Interfaces::IProperties> BuildProperties(const std::vector<PropertyArgument>& arguments, std::istream& in);

// A new property set: the properties of current in their order, less those named in removed, each
// assignment taking the place of the property of its name or, for a new name, following them. Other
// values (secure texts, nested sets) are carried over as they are. Secure assignments read in as
// BuildProperties does; throws as BuildProperties.
Handle<Data::Interfaces::IProperties> EditedProperties(Data::Interfaces::IProperties* current,
                                                       const std::vector<PropertyArgument>& assignments,
                                                       const std::vector<std::string>& removed, std::istream& in);

// A property's value made ready to show: secure values never carry their text.
struct ShownValue {
    enum Kind { Null, Text, Integer, Unsigned, Real, Boolean, Secret, Set, Json };  // Json: text is a document
    Kind kind = Null;
    std::string text;
    int64_t integer = 0;
    uint64_t unsignedInteger = 0;
    double real = 0;
    bool boolean = false;
    std::vector<std::pair<std::string, ShownValue>> members;  // of a nested set
};

// Every property of set, in its order, as name and shown value (nested sets as Set, secure texts as Secret).
std::vector<std::pair<std::string, ShownValue>> ShowProperties(Data::Interfaces::IProperties* set);

// The one-line text form of a shown value: "***" for a secret, {a = 1, b = x} for a set.
std::string ShownText(const ShownValue& value);

}  // namespace VeskTool
