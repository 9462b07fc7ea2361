#include "host/host_link.h"

#include "host/protocol.h"

namespace lumarix {

HostControl* heldControl = nullptr;

PageItem MakeItemQuery(std::uint32_t n, std::uint32_t request) noexcept {
    PageItem item{};
    item.size = kPageItemSize;
    item.id = kItemNumberTag + n;
    item.parent = kSettingsPageId;
    item.leadWord = kLeadWord;
    item.request = request;
    return item;
}

std::intptr_t SendRecord(void* record) {
    return heldControl->ops->sendCall(heldControl, record);
}

std::intptr_t SendHostCall(std::uint32_t id, HostWord param1, HostWord param2) {
    HostCall call{{sizeof(HostCall), id}, param1, param2};
    return SendRecord(&call);
}

void ReportUnhandled(std::int32_t code) {
    heldControl->ops->reportUnhandled(heldControl, code);
}

}  // namespace lumarix
