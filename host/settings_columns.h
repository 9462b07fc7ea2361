// The plug-in's twenty settings columns in the host's settings store.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "highlight/style_tags.h"
#include "host/categories.h"

namespace lumarix {

// Declares the twenty columns of kSettingsColumns with call 1102 each; answers 1.
std::intptr_t RegisterColumns();

// The current text of column n. Without a held control it is the registered
// default (the empty text for unknown columns); a null answer from the host
// reads as the empty text. The view is valid until the next host call.
std::string_view ReadColumnText(std::uint32_t column);

// Gives the current text of a settings column; the view must stay valid until
// the next call.
using ColumnReader = std::function<std::string_view(std::uint32_t column)>;

// Reads the twenty columns in kColumnsInReadOrder into plain styles. A switch
// is on exactly when its text is "1"; a colour text is taken as it is.
CategoryStyles ReadCategoryStyles(const ColumnReader& readColumn = ReadColumnText);

}  // namespace lumarix
