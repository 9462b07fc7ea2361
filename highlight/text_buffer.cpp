// Alone in its file so that a test program can link its own version and make
// the buffers' allocations fail.
#include "highlight/text_buffer.h"

namespace lumarix {

char* ResizeTextStorage(char* data, std::size_t size) {
    if (void* fresh = std::realloc(data, size)) return static_cast<char*>(fresh);
    throw std::bad_alloc();
}

}  // namespace lumarix
