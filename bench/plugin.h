// The module as the benchmarks drive it: loaded at run time from the build and
// started once by a stand-in host, as the messenger keeps it.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "host/protocol.h"
#include "tools/module_loader.h"
#include "tools/stand_in_host.h"

namespace lumarix::bench {

struct Plugin {
    std::unique_ptr<tools::LoadedModule> module;
    std::unique_ptr<tools::StandInHost> host;
};

inline Plugin StartPlugin(const std::string& path = LUMARIX_MODULE_PATH) {
    std::string error;
    Plugin plugin;
    plugin.module = tools::LoadedModule::Load(path, error);
    if (!plugin.module) throw std::runtime_error(error);
    plugin.host = std::make_unique<tools::StandInHost>(plugin.module->Entry());
    plugin.host->Start();
    return plugin;
}

}  // namespace lumarix::bench
