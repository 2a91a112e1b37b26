#pragma once
// What `vesk ls` shows: the workspace's data sources with their datasets, and its generic objects as a tree.
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "Properties.h"

namespace VeskTool {

using ShownProperties = std::vector<std::pair<std::string, ShownValue>>;

struct ListedDataset {
    std::string uuid;
    std::string name;
    std::string datasetType;
    std::string temporalType;
    std::string spatialType;
    ShownProperties properties;
};

struct ListedDataSource {
    std::string uuid;
    std::string name;
    std::string type;
    ShownProperties properties;
    std::vector<ListedDataset> datasets;
};

struct ListedObject {
    std::string uuid;
    std::string name;
    std::string type;
    ShownProperties properties;
    std::vector<ListedObject> children;
};

struct Listing {
    std::string name;
    std::string uuid;
    std::vector<ListedDataSource> dataSources;
    std::vector<ListedObject> objects;  // the roots: objects without a parent among the generic objects
};

// Reads the listing of the workspace file at path, opened read-only; throws LibraryError on failure.
Listing ReadListing(const std::string& path);

// The properties as one JSON object: a JSON document as itself, a secret as "***", a nested set as an object.
std::string PropertiesJson(const ShownProperties& properties);

// Writes the properties one per line, "NAME = VALUE" after indent.
void PrintProperties(const ShownProperties& properties, const std::string& indent, std::ostream& out);

// Writes the listing as an indented tree, or as one JSON object.
void PrintListing(const Listing& listing, std::ostream& out);
void PrintListingJson(const Listing& listing, std::ostream& out);

}  // namespace VeskTool
