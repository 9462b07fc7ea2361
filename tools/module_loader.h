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

  private:
    LoadedModule(void* handle, EntryPoint entry) : handle_(handle), entry_(entry) {}
    void* handle_;
    EntryPoint entry_;
};

// The module's file name beside the running executable.
std::string DefaultModulePath(const char* argv0);

}  // namespace lumarix::tools
