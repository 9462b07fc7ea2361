// The module's Windows resources as the messenger reads them: the version
// resource and icon 100, the icon its settings page shows. Read through the
// Win32 API on Windows builds; Linux modules carry no such resources.
#pragma once

#include <string>

namespace lumarix::tools {

// The lines --info adds about the module's resources: file and product
// version, translation, InternalName, OriginalFilename and Comments (the
// source commit), and icon 100's stored images and the image LoadImage makes
// at 16 x 16; a line saying what is missing where a resource cannot be read,
// or, on Linux, that the module has none.
std::string DescribeModuleResources(const std::string& modulePath);

}  // namespace lumarix::tools
