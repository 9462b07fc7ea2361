#include "host/host_link.h"

namespace lumarix {

HostControl* heldControl = nullptr;

CallHead MakeHead(std::uint16_t size, std::uint32_t id) noexcept {
    return CallHead{size, id, 0, 0, 0, 0};
}

std::intptr_t SendRecord(void* record) {
    return heldControl->ops->sendCall(heldControl, record);
}

std::intptr_t SendHostCall(std::uint32_t id, HostWord param1, HostWord param2) {
    HostCall call{MakeHead(sizeof(HostCall), id), param1, param2};
    return SendRecord(&call);
}

void ReportUnhandled(std::int32_t code) { heldControl->ops->reportUnhandled(heldControl, code); }

}  // namespace lumarix
