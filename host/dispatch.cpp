// The module's one entry point: a table of the calls it knows.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "highlight/style_tags.h"
#include "host/host_link.h"
#include "host/interception.h"
#include "host/protocol.h"
#include "host/records.h"
#include "host/settings_columns.h"
#include "host/settings_page.h"

namespace lumarix {
namespace {

constexpr char kVersionText[] = "0.1a";
constexpr char kNameInCapitals[] = "LUMARIX";
constexpr char kPlatformText[] = "W98";
constexpr char kName[] = "Lumarix";

// Calls 21020 and 22100 both rebuild the style tags, and answer differently.
template <std::intptr_t Answer>
std::intptr_t RebuildFromSettings(const HostCall&) {
    RebuildStyleTags(ReadCategoryStyles());
    return Answer;
}

template <std::intptr_t (*Work)()>
std::intptr_t AnswerFromWork(const HostCall&) {
    return Work();
}

std::intptr_t HoldControl(const HostCall& call) {
    heldControl = reinterpret_cast<HostControl*>(call.param1);
    return 1;
}

std::intptr_t DropControl(const HostCall&) {
    heldControl = nullptr;
    return 1;
}

std::intptr_t TakeMessage(const HostCall& call) {
    auto* message = reinterpret_cast<ChatMessage*>(call.param1);
    return message ? InterceptMessage(message) : 1;
}

std::intptr_t TakePageAction(const HostCall& call) {
    const auto* record = reinterpret_cast<const char*>(call.param1);
    if (!record) return 0;
    std::uint32_t itemNumber;
    std::memcpy(&itemNumber, record + 2, sizeof itemNumber);
    if ((itemNumber & kItemTagMask) == kItemNumberTag) OnPageAction(itemNumber);
    return 0;
}

template <std::intptr_t Answer>
std::intptr_t AnswerNumber(const HostCall&) {
    return Answer;
}

template <const char* Text>
std::intptr_t AnswerText(const HostCall&) {
    return reinterpret_cast<std::intptr_t>(Text);
}

struct NamedCall {
    std::uint32_t id;
    std::intptr_t (*run)(const HostCall&);
    // What the call answers when its work failed (memory ran out): a message
    // passes unchanged, and the other calls give their usual answer.
    std::intptr_t answerOnFailure;
};

constexpr std::array<NamedCall, 18> kNamedCalls = {{
    {kCallHoldControl, HoldControl, 0},
    {kCallDropControl, DropControl, 0},
    {kCallApiLevel, AnswerNumber<2>, 0},
    {kCallMessageSlots, AnswerNumber<64>, 0},
    {kCallMessage, TakeMessage, 1},
    {kCallRegisterColumns, AnswerFromWork<RegisterColumns>, 1},
    {kCallSettingsLoaded, RebuildFromSettings<0>, 0},
    {kCallBuildPage, AnswerFromWork<BuildSettingsPage>, 1},
    {kCallSettingsChanged, RebuildFromSettings<1>, 1},
    {kCallPageAction, TakePageAction, 0},
    {kCallPluginNumber, AnswerNumber<1000>, 0},
    {kCallPluginBuild, AnswerNumber<536>, 0},
    {kCallVersionText, AnswerText<kVersionText>, 0},
    {kCallNameInCapitals, AnswerText<kNameInCapitals>, 0},
    {kCallPlatformText, AnswerText<kPlatformText>, 0},
    {kCallReserved15, AnswerNumber<0>, 0},
    {kCallNameText, AnswerText<kName>, 0},
    {kCallReserved17, AnswerNumber<0>, 0},
}};

const NamedCall* FindCall(std::uint32_t id) {
    const auto found = std::find_if(kNamedCalls.begin(), kNamedCalls.end(),
                                    [id](const NamedCall& c) { return c.id == id; });
    return found == kNamedCalls.end() ? nullptr : &*found;
}

}  // namespace
}  // namespace lumarix

extern "C" LX_EXPORT std::intptr_t LX_STDCALL IMessageProc(lumarix::HostCall* call) {
    const lumarix::NamedCall* named = lumarix::FindCall(call->head.id);
    // No exception may reach the host.
    try {
        if (named) return named->run(*call);
        if (lumarix::IsHostHeld()) lumarix::ReportUnhandled(1);
        return 0;
    } catch (...) {
        return named ? named->answerOnFailure : 0;
    }
}
