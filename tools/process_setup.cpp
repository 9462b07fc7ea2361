#include "tools/process_setup.h"

#include <cstdlib>  // first, so that __GLIBC__ is known below
#include <cstring>
#include <string>

#if defined(__linux__) && defined(__GLIBC__)
#include <unistd.h>
#endif

namespace lumarix::tools {

void UseHugePagesForLargeBlocks(char** argv) {
#if defined(__linux__) && defined(__GLIBC__)
    constexpr const char* kTunable = "glibc.malloc.hugetlb";
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    if (tunables && std::strstr(tunables, kTunable)) return;
    if (std::getenv("LUMARIX_HOST_SMALL_PAGES")) return;
    // Under valgrind a restart would leave the checked process.
    const char* preload = std::getenv("LD_PRELOAD");
    if (preload && std::strstr(preload, "vgpreload")) return;
    std::string value = std::string(kTunable) + "=1";
    if (tunables && *tunables) value = std::string(tunables) + ":" + value;
    if (setenv("GLIBC_TUNABLES", value.c_str(), 1) != 0) return;
    execv("/proc/self/exe", argv);
    unsetenv("GLIBC_TUNABLES");  // the restart failed: carry on as we are
    if (tunables) setenv("GLIBC_TUNABLES", tunables, 1);
#else
    (void)argv;
#endif
}

}  // namespace lumarix::tools
