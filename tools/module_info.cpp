#include "tools/module_info.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <type_traits>

#if defined(_WIN32)
#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>
#endif

namespace lumarix::tools {

#if defined(_WIN32)
namespace {

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

constexpr int kIconResourceId = 100;

std::string ErrorText(const std::string& what) {
    return what + " (error " + std::to_string(GetLastError()) + ")";
}

std::array<std::uint16_t, 4> SplitVersion(DWORD most, DWORD least) {
    return {HIWORD(most), LOWORD(most), HIWORD(least), LOWORD(least)};
}

// A value of the version block, or nullopt when the block does not hold it.
std::optional<std::string> QueryText(const std::vector<char>& block, const std::string& path) {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), path.c_str(), &value, &length) || !value) return std::nullopt;
    // The length counts the terminating NUL, when there is one.
    std::string text(static_cast<const char*>(value), length);
    if (const std::size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
    return text;
}

struct FreeModule {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using ModuleHandle = std::unique_ptr<std::remove_pointer_t<HMODULE>, FreeModule>;

// The bytes of one resource of `module`, or an empty view when it is missing.
std::string_view FindResourceBytes(HMODULE module, int id, LPCSTR type) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return {};
    return {static_cast<const char*>(bytes), SizeofResource(module, found)};
}

template <typename T>
T ReadLittle(std::string_view bytes, std::size_t offset) {
    T value{};
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

// Each RT_ICON image the icon group names, measured from the image's own
// bitmap header (what the file really holds, not what the directory claims).
std::optional<std::vector<IconImage>> ReadStoredImages(HMODULE module, std::string& error) {
    const std::string_view group = FindResourceBytes(module, kIconResourceId, RT_GROUP_ICON);
    constexpr std::size_t kDirectorySize = 6, kEntrySize = 14, kIdOffset = 12;
    if (group.size() < kDirectorySize) {
        error = ErrorText("no icon group");
        return std::nullopt;
    }
    const auto count = ReadLittle<std::uint16_t>(group, 4);
    if (group.size() < kDirectorySize + count * kEntrySize) {
        error = "the icon group is truncated";
        return std::nullopt;
    }
    std::vector<IconImage> images;
    for (std::size_t k = 0; k < count; ++k) {
        const auto id =
            ReadLittle<std::uint16_t>(group, kDirectorySize + k * kEntrySize + kIdOffset);
        const std::string_view image =
            FindResourceBytes(module, id, MAKEINTRESOURCEA(3) /* RT_ICON */);
        if (image.size() < sizeof(BITMAPINFOHEADER)) {
            error = "an image of the icon group has no bitmap header";
            return std::nullopt;
        }
        const auto header = ReadLittle<BITMAPINFOHEADER>(image, 0);
        if (header.biSize != sizeof(BITMAPINFOHEADER)) {  // such as an image stored as PNG
            error = "an image of the icon group is not a plain bitmap";
            return std::nullopt;
        }
        // An icon bitmap's height counts the colour rows and the mask rows.
        images.push_back({static_cast<int>(header.biWidth), static_cast<int>(header.biHeight / 2),
                          static_cast<int>(header.biBitCount)});
    }
    return images;
}

// The icon as the messenger loads it for its page: LoadImage at 16 x 16.
std::optional<IconImage> ReadLoadedIcon(HMODULE module, std::string& error) {
    HANDLE image =
        LoadImageA(module, MAKEINTRESOURCEA(kIconResourceId), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR);
    if (!image) {
        error = ErrorText("LoadImage failed");
        return std::nullopt;
    }
    HICON icon = static_cast<HICON>(image);
    ICONINFO info{};
    std::optional<IconImage> result;
    if (GetIconInfo(icon, &info)) {
        BITMAP bitmap{};
        if (!info.hbmColor)  // a monochrome icon: not the one the page should show
            error = "the loaded icon has no colour bitmap";
        else if (GetObjectA(info.hbmColor, sizeof bitmap, &bitmap))
            result = IconImage{bitmap.bmWidth, bitmap.bmHeight, bitmap.bmBitsPixel};
        else
            error = ErrorText("GetObject failed");
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
    } else {
        error = ErrorText("GetIconInfo failed");
    }
    DestroyIcon(icon);
    return result;
}

std::string FormatVersion(const std::array<std::uint16_t, 4>& parts) {
    return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
           std::to_string(parts[2]) + "." + std::to_string(parts[3]);
}

std::string FormatImage(const IconImage& image) {
    return std::to_string(image.width) + "x" + std::to_string(image.height) + " " +
           std::to_string(image.bitsPerPixel) + " bpp";
}

// The module's version resource; nullopt with `error` set when it has none.
std::optional<VersionResource> ReadVersionResource(const std::string& modulePath,
                                                   std::string& error) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(modulePath.c_str(), &ignored);
    if (size == 0) {
        error = ErrorText("no version resource");
        return std::nullopt;
    }
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(modulePath.c_str(), 0, size, block.data())) {
        error = ErrorText("GetFileVersionInfo failed");
        return std::nullopt;
    }

    VersionResource version;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
        error = "the version resource has no fixed file information";
        return std::nullopt;
    }
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    version.fileVersion = SplitVersion(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    version.productVersion = SplitVersion(fixed->dwProductVersionMS, fixed->dwProductVersionLS);

    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length) ||
        length < 4) {
        error = "the version resource has no translation";
        return std::nullopt;
    }
    const auto* translation = static_cast<const WORD*>(value);
    version.language = translation[0];
    version.codePage = translation[1];

    // The strings live in the block that the first translation names.
    char blockName[16];
    std::snprintf(blockName, sizeof blockName, "%04X%04X", version.language, version.codePage);
    const std::string prefix = std::string("\\StringFileInfo\\") + blockName + "\\";
    const auto internalName = QueryText(block, prefix + "InternalName");
    const auto originalFilename = QueryText(block, prefix + "OriginalFilename");
    if (!internalName || !originalFilename) {
        error =
            std::string("string block ") + blockName + " lacks InternalName or OriginalFilename";
        return std::nullopt;
    }
    version.internalName = *internalName;
    version.originalFilename = *originalFilename;
    return version;
}

// Icon 100 of the module; nullopt with `error` set when it cannot be loaded.
std::optional<IconResource> ReadIconResource(const std::string& modulePath, std::string& error) {
    // As a data file: only the resources are wanted, no code runs.
    ModuleHandle module(LoadLibraryExA(modulePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) {
        error = ErrorText("cannot open " + modulePath);
        return std::nullopt;
    }
    auto stored = ReadStoredImages(module.get(), error);
    if (!stored) return std::nullopt;
    auto loaded = ReadLoadedIcon(module.get(), error);
    if (!loaded) return std::nullopt;
    return IconResource{std::move(*stored), *loaded};
}

}  // namespace

std::string DescribeModuleResources(const std::string& modulePath) {
    std::string out;
    std::string error;
    if (const auto version = ReadVersionResource(modulePath, error)) {
        char translation[32];
        std::snprintf(translation, sizeof translation, "0x%04X %u", version->language,
                      version->codePage);
        out += "file version: " + FormatVersion(version->fileVersion) + "\n";
        out += "product version: " + FormatVersion(version->productVersion) + "\n";
        out += std::string("translation: ") + translation + "\n";
        out += "InternalName: \"" + version->internalName + "\"\n";
        out += "OriginalFilename: \"" + version->originalFilename + "\"\n";
    } else {
        out += "version resource: " + error + "\n";
    }
    error.clear();
    const std::string icon = "icon " + std::to_string(kIconResourceId);
    if (const auto resource = ReadIconResource(modulePath, error)) {
        out += icon + " images:";
        for (const IconImage& image : resource->stored) out.append(" ").append(FormatImage(image));
        out += "\n" + icon + " loaded: " + FormatImage(resource->loaded) + "\n";
    } else {
        out += icon + ": " + error + "\n";
    }
    return out;
}

#else

// A Linux module carries no resources, so --info adds nothing.
std::string DescribeModuleResources(const std::string&) {
    return {};
}

#endif

}  // namespace lumarix::tools
