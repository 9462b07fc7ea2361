// Cuts the Delphi source of one block into tokens in the module-wide queue.
#pragma once

#include <string_view>

namespace lumarix {

// Empties tokenQueue, then fills it with the tokens of blockText in source
// order. The queue keeps its own copy of the text; the token texts joined give
// it back byte for byte. No input is an error.
void LexBlock(std::string_view blockText);

}  // namespace lumarix
