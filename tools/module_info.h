// The module's Windows resources as the messenger reads them: the version
// resource and icon 100, the icon its settings page shows. Read through the
// Win32 API on Windows builds; Linux modules carry no such resources.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumarix::tools {

struct VersionResource {
    std::array<std::uint16_t, 4> fileVersion{};     // from VS_FIXEDFILEINFO
    std::array<std::uint16_t, 4> productVersion{};  // from VS_FIXEDFILEINFO
    std::uint16_t language = 0;                     // first Translation entry
    std::uint16_t codePage = 0;
    std::string internalName;
    std::string originalFilename;
};

struct IconImage {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
};

struct IconResource {
    std::vector<IconImage> stored;  // the images of the icon group, as stored
    IconImage loaded;               // the icon LoadImage makes at 16 x 16
};

inline constexpr int kIconResourceId = 100;

// The module's version resource; nullopt with `error` set when it has none.
std::optional<VersionResource> ReadVersionResource(const std::string& modulePath,
                                                   std::string& error);

// Icon 100 of the module; nullopt with `error` set when it cannot be loaded.
std::optional<IconResource> ReadIconResource(const std::string& modulePath, std::string& error);

// The lines --info adds about the module's resources; empty where the
// platform has none.
std::string DescribeModuleResources(const std::string& modulePath);

}  // namespace lumarix::tools
