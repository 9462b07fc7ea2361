// Loads the plug-in module at run time the way the messenger does and finds
// its exported entry point by name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "host/records.h"

namespace lumarix::tools {

using EntryPoint = std::intptr_t(LX_STDCALL*)(HostCall* call);

class LoadedModule {
  public:
    // Null with `error` set when the module or its entry point cannot be found.
    static std::unique_ptr<LoadedModule> Load(const std::string& path, std::string& error);
    ~LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    EntryPoint Entry() const noexcept { return entry_; }
    const std::string& Path() const noexcept { return path_; }

  private:
    LoadedModule(void* handle, EntryPoint entry, std::string path)
        : handle_(handle), entry_(entry), path_(std::move(path)) {}
    void* handle_;
    EntryPoint entry_;
    std::string path_;
};

// The module's file name beside the running executable.
std::string DefaultModulePath(const char* argv0);

// The exported name the entry point is looked up by.
extern const char* const kEntryPointName;

}  // namespace lumarix::tools
