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
static const char* const kEntryPointName = "_IMessageProc@4";
static const char* const kModuleFileName = "\\lumarix.dll";  // with the separator before it

// The module's handle; null with `why` set to what the system says.
static void* OpenLibrary(const std::string& path, std::string& why) {
    HMODULE handle = LoadLibraryA(path.c_str());
    if (!handle) why = " (error " + std::to_string(GetLastError()) + ")";
    return handle;
}

static EntryPoint FindEntry(void* handle) {
    // Through a generic function pointer: FARPROC has no parameters.
    return reinterpret_cast<EntryPoint>(reinterpret_cast<void (*)()>(
        GetProcAddress(static_cast<HMODULE>(handle), kEntryPointName)));
}

static void CloseLibrary(void* handle) {
    FreeLibrary(static_cast<HMODULE>(handle));
}

static std::string ExecutablePath(const char*) {
    char buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    return std::string(buffer, n);
}
#else
static const char* const kEntryPointName = "IMessageProc";
static const char* const kModuleFileName = "/lumarix.so";

static void* OpenLibrary(const std::string& path, std::string& why) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    const char* error = handle ? nullptr : dlerror();
    if (error) why = std::string(": ") + error;
    return handle;
}

static EntryPoint FindEntry(void* handle) {
    return reinterpret_cast<EntryPoint>(dlsym(handle, kEntryPointName));
}

static void CloseLibrary(void* handle) {
    dlclose(handle);
}

static std::string ExecutablePath(const char* argv0) {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string(argv0);
}
#endif

std::unique_ptr<LoadedModule> LoadedModule::Load(const std::string& path, std::string& error) {
    std::string why;
    void* handle = OpenLibrary(path, why);
    if (!handle) {
        error = "cannot load module " + path + why;
        return nullptr;
    }
    const EntryPoint entry = FindEntry(handle);
    if (!entry) {
        CloseLibrary(handle);
        error = std::string("module ") + path + " has no export " + kEntryPointName;
        return nullptr;
    }
    return std::unique_ptr<LoadedModule>(new LoadedModule(handle, entry));
}

LoadedModule::~LoadedModule() {
    CloseLibrary(handle_);
}

std::string DefaultModulePath(const char* argv0) {
    std::string exe = ExecutablePath(argv0);
    const std::size_t slash = exe.find_last_of("/\\");
    return (slash == std::string::npos ? std::string(".") : exe.substr(0, slash)) + kModuleFileName;
}

}  // namespace lumarix::tools
