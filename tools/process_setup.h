// Process-wide set-up of the stand-in host that has nothing to do with the
// plug-in's protocol.
#pragma once

namespace lumarix::tools {

// On Linux with glibc, restarts the host once with glibc's allocator told to
// back its large blocks with transparent huge pages, unless that is set
// already, LUMARIX_HOST_SMALL_PAGES is set, or the host runs under valgrind.
// A rewritten megabyte body touches several megabytes of fresh memory, and
// on these virtual machines each fresh 4 KiB page costs about 15 us; huge
// pages make whole-process runs several times faster. Returns normally when
// there is nothing to do or the restart fails.
void UseHugePagesForLargeBlocks(char** argv);

}  // namespace lumarix::tools
