#include "tools/module_info.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <type_traits>

#if defined(_WIN32)
#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>
#endif

namespace lumarix::tools {

#if defined(_WIN32)
namespace {

constexpr int kIconResourceId = 100;

// Why a resource cannot be read; --info prints it in place of the resource's lines.
struct ResourceError {
    std::string what;
};

std::string ErrorText(const std::string& what) {
    return what + " (error " + std::to_string(GetLastError()) + ")";
}

std::string FormatVersion(DWORD most, DWORD least) {
    return std::to_string(HIWORD(most)) + "." + std::to_string(LOWORD(most)) + "." +
           std::to_string(HIWORD(least)) + "." + std::to_string(LOWORD(least));
}

std::string FormatImage(int width, int height, int bitsPerPixel) {
    return std::to_string(width) + "x" + std::to_string(height) + " " +
           std::to_string(bitsPerPixel) + " bpp";
}

// A value of the version block, or nullopt when the block does not hold it.
std::optional<std::string> QueryText(const std::vector<char>& block, const std::string& path) {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), path.c_str(), &value, &length) || !value) return std::nullopt;
    // The length counts the terminating NUL, when there is one.
    const char* text = static_cast<const char*>(value);
    return std::string(text, strnlen(text, length));
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

// File and product version, translation, InternalName, OriginalFilename and
// Comments, which names the source commit.
std::string DescribeVersion(const std::string& modulePath) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(modulePath.c_str(), &ignored);
    if (size == 0) throw ResourceError{ErrorText("no version resource")};
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(modulePath.c_str(), 0, size, block.data()))
        throw ResourceError{ErrorText("GetFileVersionInfo failed")};

    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO))
        throw ResourceError{"the version resource has no fixed file information"};
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    std::string out =
        "file version: " + FormatVersion(fixed->dwFileVersionMS, fixed->dwFileVersionLS) + "\n";
    out +=
        "product version: " + FormatVersion(fixed->dwProductVersionMS, fixed->dwProductVersionLS) +
        "\n";

    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length) || length < 4)
        throw ResourceError{"the version resource has no translation"};
    const auto* translation = static_cast<const WORD*>(value);  // language, code page
    char text[32];
    std::snprintf(text, sizeof text, "0x%04X %u", translation[0], translation[1]);
    out += std::string("translation: ") + text + "\n";

    // The strings live in the block that the first translation names.
    char blockName[16];
    std::snprintf(blockName, sizeof blockName, "%04X%04X", translation[0], translation[1]);
    const std::string prefix = std::string("\\StringFileInfo\\") + blockName + "\\";
    const auto internalName = QueryText(block, prefix + "InternalName");
    const auto originalFilename = QueryText(block, prefix + "OriginalFilename");
    if (!internalName || !originalFilename)
        throw ResourceError{std::string("string block ") + blockName +
                            " lacks InternalName or OriginalFilename"};
    // A module built before Comments named the commit has none; that is no error.
    const auto comments = QueryText(block, prefix + "Comments");
    return out + "InternalName: \"" + *internalName + "\"\nOriginalFilename: \"" +
           *originalFilename + "\"\nComments: " + (comments ? "\"" + *comments + "\"" : "none") +
           "\n";
}

// Each RT_ICON image the icon group names, measured from the image's own
// bitmap header (what the file really holds, not what the directory claims).
std::string DescribeStoredImages(HMODULE module) {
    const std::string_view group = FindResourceBytes(module, kIconResourceId, RT_GROUP_ICON);
    constexpr std::size_t kDirectorySize = 6, kEntrySize = 14, kIdOffset = 12;
    if (group.size() < kDirectorySize) throw ResourceError{ErrorText("no icon group")};
    const auto count = ReadLittle<std::uint16_t>(group, 4);
    if (group.size() < kDirectorySize + count * kEntrySize)
        throw ResourceError{"the icon group is truncated"};
    std::string out;
    for (std::size_t k = 0; k < count; ++k) {
        const auto id =
            ReadLittle<std::uint16_t>(group, kDirectorySize + k * kEntrySize + kIdOffset);
        const std::string_view image =
            FindResourceBytes(module, id, MAKEINTRESOURCEA(3) /* RT_ICON */);
        if (image.size() < sizeof(BITMAPINFOHEADER))
            throw ResourceError{"an image of the icon group has no bitmap header"};
        const auto header = ReadLittle<BITMAPINFOHEADER>(image, 0);
        if (header.biSize != sizeof(BITMAPINFOHEADER))  // such as an image stored as PNG
            throw ResourceError{"an image of the icon group is not a plain bitmap"};
        // An icon bitmap's height counts the colour rows and the mask rows.
        out.append(" ").append(FormatImage(header.biWidth, header.biHeight / 2, header.biBitCount));
    }
    return out;
}

// The icon as the messenger loads it for its page: LoadImage at 16 x 16.
std::string DescribeLoadedIcon(HMODULE module) {
    HANDLE image =
        LoadImageA(module, MAKEINTRESOURCEA(kIconResourceId), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR);
    if (!image) throw ResourceError{ErrorText("LoadImage failed")};
    HICON icon = static_cast<HICON>(image);
    ICONINFO info{};
    std::string out, error;
    if (GetIconInfo(icon, &info)) {
        BITMAP bitmap{};
        if (!info.hbmColor)  // a monochrome icon: not the one the page should show
            error = "the loaded icon has no colour bitmap";
        else if (GetObjectA(info.hbmColor, sizeof bitmap, &bitmap))
            out = FormatImage(bitmap.bmWidth, bitmap.bmHeight, bitmap.bmBitsPixel);
        else
            error = ErrorText("GetObject failed");
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
    } else {
        error = ErrorText("GetIconInfo failed");
    }
    DestroyIcon(icon);
    if (!error.empty()) throw ResourceError{error};
    return out;
}

// Icon 100's stored images and the image LoadImage makes of it.
std::string DescribeIcon(const std::string& modulePath, const std::string& icon) {
    // As a data file: only the resources are wanted, no code runs.
    ModuleHandle module(LoadLibraryExA(modulePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) throw ResourceError{ErrorText("cannot open " + modulePath)};
    const std::string stored = DescribeStoredImages(module.get());
    return icon + " images:" + stored + "\n" + icon +
           " loaded: " + DescribeLoadedIcon(module.get()) + "\n";
}

}  // namespace

std::string DescribeModuleResources(const std::string& modulePath) {
    std::string out;
    try {
        out += DescribeVersion(modulePath);
    } catch (const ResourceError& e) {
        out += "version resource: " + e.what + "\n";
    }
    const std::string icon = "icon " + std::to_string(kIconResourceId);
    try {
        out += DescribeIcon(modulePath, icon);
    } catch (const ResourceError& e) {
        out += icon + ": " + e.what + "\n";
    }
    return out;
}

#else

// A Linux module carries no resources: no version and no source commit, which
// only the Windows module records.
std::string DescribeModuleResources(const std::string&) {
    return "version resource: none in a Linux module, so no version or source commit\n";
}

#endif

}  // namespace lumarix::tools
