#include "tools/module_loader.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>
#endif

namespace lumarix::tools {

#if defined(_WIN32)
const char* const kEntryPointName = "_IMessageProc@4";
static const char* const kModuleFileName = "lumarix.dll";

std::unique_ptr<LoadedModule> LoadedModule::Load(const std::string& path, std::string& error) {
    HMODULE handle = LoadLibraryA(path.c_str());
    if (!handle) {
        error = "cannot load module " + path + " (error " + std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    // Through a generic function pointer: FARPROC has no parameters.
    auto entry = reinterpret_cast<EntryPoint>(
        reinterpret_cast<void (*)()>(GetProcAddress(handle, kEntryPointName)));
    if (!entry) {
        FreeLibrary(handle);
        error = std::string("module ") + path + " has no export " + kEntryPointName;
        return nullptr;
    }
    return std::unique_ptr<LoadedModule>(new LoadedModule(handle, entry, path));
}

LoadedModule::~LoadedModule() {
    FreeLibrary(static_cast<HMODULE>(handle_));
}

static std::string ExecutablePath(const char*) {
    char buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    return std::string(buffer, n);
}
#else
const char* const kEntryPointName = "IMessageProc";
static const char* const kModuleFileName = "lumarix.so";

std::unique_ptr<LoadedModule> LoadedModule::Load(const std::string& path, std::string& error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        error = "cannot load module " + path + (why ? std::string(": ") + why : std::string());
        return nullptr;
    }
    auto entry = reinterpret_cast<EntryPoint>(dlsym(handle, kEntryPointName));
    if (!entry) {
        dlclose(handle);
        error = std::string("module ") + path + " has no export " + kEntryPointName;
        return nullptr;
    }
    return std::unique_ptr<LoadedModule>(new LoadedModule(handle, entry, path));
}

LoadedModule::~LoadedModule() {
    dlclose(handle_);
}

static std::string ExecutablePath(const char* argv0) {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string(argv0);
}
#endif

std::string DefaultModulePath(const char* argv0) {
    std::string exe = ExecutablePath(argv0);
    const std::size_t slash = exe.find_last_of("/\\");
    const std::string dir = slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
#if defined(_WIN32)
    return dir + "\\" + kModuleFileName;
#else
    return dir + "/" + kModuleFileName;
#endif
}

}  // namespace lumarix::tools
