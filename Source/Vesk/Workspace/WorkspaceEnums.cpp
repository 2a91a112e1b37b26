#include "Vesk/Workspace/WorkspaceEnums.h"

#include <array>
#include <span>

namespace Vesk::Workspace {
namespace {

// Each list starts with the name of -1; a name's position is its value + 1.
constexpr std::array<std::string_view, 25> kDataSourceTypes = {"Unknown",
                                                               "None",
                                                               "Custom",
                                                               "InlineJson",
                                                               "InlineGeoJson",
                                                               "InlineSqlite",
                                                               "InlineCsv",
                                                               "InlineTiff",
                                                               "InlineGeopackage",
                                                               "InlineText",
                                                               "InlineBlob",
                                                               "Memory",
                                                               "FilePath",
                                                               "FolderPath",
                                                               "Database",
                                                               "SimpleUrl",
                                                               "ODataApi",
                                                               "ArcGisMapService",
                                                               "ArcGisFeatureService",
                                                               "TileMapService",
                                                               "WebCoverageService",
                                                               "WebMapService",
                                                               "WebMapTileService",
                                                               "WebFeatureService",
                                                               "RuntimeExtension"};
constexpr std::array<std::string_view, 5> kDatasetTypes = {"Unknown", "Generic", "Table", "Spatial", "BaseMap"};
constexpr std::array<std::string_view, 3> kTemporalTypes = {"Unknown", "None", "TimeSeries"};
constexpr std::array<std::string_view, 6> kSpatialTypes = {"Unknown", "None", "Shape", "Raster", "PointCloud", "Lidar"};

std::span<const std::string_view> NamesOf(EnumKind kind) {
    switch (kind) {
        case EnumKind::DataSourceType:
            return kDataSourceTypes;
        case EnumKind::DatasetType:
            return kDatasetTypes;
        case EnumKind::TemporalType:
            return kTemporalTypes;
        case EnumKind::SpatialType:
            return kSpatialTypes;
    }
    return {};
}

}  // namespace

std::string EnumToText(EnumKind kind, int32_t value) {
    const auto names = NamesOf(kind);
    const int64_t position = static_cast<int64_t>(value) + 1;
    if (position < 0 || position >= static_cast<int64_t>(names.size())) {
        return {};
    }
    return std::string(names[static_cast<size_t>(position)]);
}

int32_t EnumFromText(EnumKind kind, std::string_view text) {
    const auto names = NamesOf(kind);
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == text) {
            return static_cast<int32_t>(i) - 1;
        }
    }
    return -1;
}

}  // namespace Vesk::Workspace
