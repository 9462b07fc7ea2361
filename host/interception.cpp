#include "host/interception.h"

#include <memory>
#include <string_view>

#include "highlight/formatter.h"
#include "host/host_link.h"

namespace lumarix {
namespace {

bool HoldsBothMarkers(std::string_view body) {
    return body.find(kOpenMarker) != std::string_view::npos &&
           body.find(kCloseMarker) != std::string_view::npos;
}

std::intptr_t ForwardRewrittenCopy(ChatMessage* message) {
    if (!IsHostHeld()) return 1;  // nobody to forward to: the message passes unchanged
    auto copy = std::make_unique<ChatMessage>(*message);
    copy->body = FormatBody(message->body);
    copy->flags |= kFlagBodyReplaced;
    message->flags |= kFlagForwarded;
    const auto answer =
        SendHostCall(kSendNewMessageId, 10, reinterpret_cast<HostWord>(copy->newIdText));
    ForwardRecord record{.head = {sizeof(ForwardRecord), kSendForwardMessage, 3,
                                  static_cast<std::uint32_t>(answer), 310},
                         .message = copy.get(),
                         .zero = 0,
                         .one = 1};
    SendHostCall(kSendRecord, reinterpret_cast<HostWord>(&record), 0);
    return 1;
}

}  // namespace

std::intptr_t InterceptMessage(ChatMessage* message) {
    if (message->body == nullptr) return 1;
    if ((message->flags & kFlagRewriteIntoCopy) != 0)
        return HoldsBothMarkers(message->body) ? ForwardRewrittenCopy(message) : 1;
    // FormatBody hands back the body itself exactly when a marker is missing,
    // which spares a search of the whole body before it.
    const char* rewritten = FormatBody(message->body);
    if (rewritten == message->body) return 1;
    message->body = rewritten;
    message->flags |= kFlagBodyReplaced;
    return 2;
}

}  // namespace lumarix
