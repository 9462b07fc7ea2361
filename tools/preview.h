// The chat-window preview that lumarix-host writes with --preview: each
// rewritten body in a speech bubble, as the messenger's chat window would show
// it, beside the settings that produced it.
#pragma once

#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/stand_in_host.h"

namespace lumarix::tools {

// Separates the messages of a conversation on standard input and output.
inline constexpr char kMessageSeparator = '\f';

// Splits `input` at every separator: n separators give n + 1 messages, and
// their answers are written joined by separators in the same way.
std::vector<std::string> SplitMessages(std::string_view input);

// `text` read as UTF-8 and written in code page 1250; empty when it is not
// UTF-8 or holds a character the code page lacks.
std::optional<std::string> Utf8ToCp1250(std::string_view text);

// Reads a whole file as bytes; false when it cannot be read.
bool ReadMessageFile(const std::string& path, std::string& body);

// The local wall-clock time as "HH:MM", for the sender lines.
std::string CurrentClockTime();

// A standalone page, written as the messages come so that none is held: the
// bodies (HTML in the host's code page, inserted as they are) in alternating
// bubbles stamped with `time`, beside the host's settings columns as a table
// of categories with colour swatches and style switches, in the order of the
// settings page.
class PreviewFile {
  public:
    // Creates `path`, replacing it, and writes the page's head.
    PreviewFile(const std::string& path, std::string time);
    bool IsOpen() const { return out_.is_open(); }
    void AddMessage(std::string_view body);
    // Writes the settings and ends the page; false when any of it was not written.
    bool Finish(const StandInHost& host);

  private:
    std::ofstream out_;
    std::string time_;  // escaped for the page
    std::size_t count_ = 0;
};

}  // namespace lumarix::tools
