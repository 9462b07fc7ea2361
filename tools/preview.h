// The chat-window preview that lumarix-host writes with --preview: each
// rewritten body in a speech bubble, as the messenger's chat window would show
// it, beside the settings that produced it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/stand_in_host.h"

namespace lumarix::tools {

// Separates the messages of a conversation on standard input and output.
inline constexpr char kMessageSeparator = '\f';

// Splits `input` at every separator: n separators give n + 1 messages, so
// JoinMessages gives the same bytes back.
std::vector<std::string> SplitMessages(std::string_view input);
std::string JoinMessages(const std::vector<std::string>& messages);

// `text` read as UTF-8 and written in code page 1250; empty when it is not
// UTF-8 or holds a character the code page lacks.
std::optional<std::string> Utf8ToCp1250(std::string_view text);

// Reads a whole file as bytes; false when it cannot be read.
bool ReadMessageFile(const std::string& path, std::string& body);
// Writes `page` to `path`, replacing it; false when it cannot be written.
bool WritePreviewFile(const std::string& path, std::string_view page);

// The local wall-clock time as "HH:MM", for the sender lines.
std::string CurrentClockTime();

// A standalone page: `bodies` (HTML in the host's code page, inserted as they
// are) in alternating bubbles stamped with `time`, and the host's settings
// columns as a table of categories with colour swatches and style switches, in
// the order of the settings page.
std::string BuildPreviewPage(const std::vector<std::string>& bodies, std::string_view time,
                             const StandInHost& host);

}  // namespace lumarix::tools
