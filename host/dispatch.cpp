// The module's one entry point: a plain selection on the call id.
#include <cstdint>
#include <cstring>

#include "highlight/style_tags.h"
#include "host/host_link.h"
#include "host/interception.h"
#include "host/records.h"
#include "host/settings_columns.h"
#include "host/settings_page.h"

namespace lumarix {
namespace {

constexpr char kVersionText[] = "0.1a";
constexpr char kNameInCapitals[] = "LUMARIX";
constexpr char kPlatformText[] = "W98";
constexpr char kName[] = "Lumarix";

std::intptr_t TextAnswer(const char* text) { return reinterpret_cast<std::intptr_t>(text); }

std::intptr_t RebuildFromSettings() { return RebuildStyleTags(ReadColumnText); }

std::uint32_t ItemNumberOf(const void* record) {
    std::uint32_t number;
    std::memcpy(&number, static_cast<const char*>(record) + 2, sizeof number);
    return number;
}

std::intptr_t Dispatch(const HostCall& call) {
    switch (call.head.id) {
        case 20001: heldControl = reinterpret_cast<HostControl*>(call.param1); return 1;
        case 20002: heldControl = nullptr; return 1;
        case 20020: return 2;
        case 20021: return 64;
        case 20100: {
            auto* message = reinterpret_cast<ChatMessage*>(call.param1);
            return message ? InterceptMessage(message) : 1;
        }
        case 21001: return RegisterColumns();
        case 21020: RebuildFromSettings(); return 0;
        case 22000: return BuildSettingsPage();
        case 22100: RebuildFromSettings(); return 1;
        case 22200: {
            const auto* record = reinterpret_cast<const void*>(call.param1);
            if (record && (ItemNumberOf(record) & 0xFF000000u) == kItemNumberTag)
                OnPageAction(record);
            return 0;
        }
        case 30010: return 1000;
        case 30011: return 536;
        case 30012: return TextAnswer(kVersionText);
        case 30013: return TextAnswer(kNameInCapitals);
        case 30014: return TextAnswer(kPlatformText);
        case 30015: return 0;
        case 30016: return TextAnswer(kName);
        case 30017: return 0;
        default:
            if (IsHostHeld()) ReportUnhandled(1);
            return 0;
    }
}

// What a call answers when its work failed (memory ran out): the message
// passes unchanged, and the other calls give their usual answer.
std::intptr_t AnswerOnFailure(std::uint32_t id) {
    switch (id) {
        case 20100: return 1;
        case 21001: case 22000: case 22100: return 1;
        default: return 0;
    }
}

}  // namespace
}  // namespace lumarix

extern "C" LX_EXPORT std::intptr_t LX_STDCALL IMessageProc(lumarix::HostCall* call) {
    // No exception may reach the host.
    try {
        return lumarix::Dispatch(*call);
    } catch (...) {
        return lumarix::AnswerOnFailure(call->head.id);
    }
}
