#pragma once
// The names of the workspace's enumerations, as the command line takes them and the listing shows them.
#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include "Library.h"

namespace VeskTool {

template <class Enum>
using EnumName = std::pair<Enum, const char*>;

namespace EnumNames {
using namespace Vesk::Interfaces;
inline constexpr EnumName<DataSourceType> kDataSourceTypes[] = {
    {DataSourceType::None, "None"},
    {DataSourceType::Custom, "Custom"},
    {DataSourceType::InlineJson, "InlineJson"},
    {DataSourceType::InlineGeoJson, "InlineGeoJson"},
    {DataSourceType::InlineSqlite, "InlineSqlite"},
    {DataSourceType::InlineCsv, "InlineCsv"},
    {DataSourceType::InlineTiff, "InlineTiff"},
    {DataSourceType::InlineGeopackage, "InlineGeopackage"},
    {DataSourceType::InlineText, "InlineText"},
    {DataSourceType::InlineBlob, "InlineBlob"},
    {DataSourceType::Memory, "Memory"},
    {DataSourceType::FilePath, "FilePath"},
    {DataSourceType::FolderPath, "FolderPath"},
    {DataSourceType::Database, "Database"},
    {DataSourceType::SimpleUrl, "SimpleUrl"},
    {DataSourceType::ODataApi, "ODataApi"},
    {DataSourceType::ArcGisMapService, "ArcGisMapService"},
    {DataSourceType::ArcGisFeatureService, "ArcGisFeatureService"},
    {DataSourceType::TileMapService, "TileMapService"},
    {DataSourceType::WebCoverageService, "WebCoverageService"},
    {DataSourceType::WebMapService, "WebMapService"},
    {DataSourceType::WebMapTileService, "WebMapTileService"},
    {DataSourceType::WebFeatureService, "WebFeatureService"},
    {DataSourceType::RuntimeExtension, "RuntimeExtension"},
};
inline constexpr EnumName<DatasetType> kDatasetTypes[] = {
    {DatasetType::Generic, "Generic"},
    {DatasetType::Table, "Table"},
    {DatasetType::Spatial, "Spatial"},
    {DatasetType::BaseMap, "BaseMap"},
};
inline constexpr EnumName<TemporalType> kTemporalTypes[] = {
    {TemporalType::None, "None"},
    {TemporalType::TimeSeries, "TimeSeries"},
};
inline constexpr EnumName<SpatialType> kSpatialTypes[] = {
    {SpatialType::None, "None"},     {SpatialType::Shape, "Shape"},
    {SpatialType::Raster, "Raster"}, {SpatialType::PointCloud, "PointCloud"},
    {SpatialType::Lidar, "Lidar"},
};
}  // namespace EnumNames

// True when a and b are the same text in ASCII letters of any case.
inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

// The name of value; "Unknown" for a value the table does not hold (what the workspace reads for a text it
// does not know).
template <class Enum, size_t N>
std::string NameOf(const EnumName<Enum> (&names)[N], Enum value) {
    for (const auto& [candidate, name] : names) {
        if (candidate == value) {
            return name;
        }
    }
    return "Unknown";
}

// The value named text in any letter case; throws UsageError listing the names when there is none.
template <class Enum, size_t N>
Enum ValueNamed(const EnumName<Enum> (&names)[N], std::string_view text, const char* option) {
    std::string known;
    for (const auto& [value, name] : names) {
        if (EqualsIgnoringCase(name, text)) {
            return value;
        }
        known += (known.empty() ? "" : ", ") + std::string(name);
    }
    throw UsageError(std::string(option) + ": unknown type '" + std::string(text) + "' (one of " + known + ")");
}

}  // namespace VeskTool
