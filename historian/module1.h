// The value readers: each fetches one value of one historian point and
// returns it as text, ready to be stored in a report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "historian/basPI_API.h"
#include "platform/code_page.h"
#include "platform/date_settings.h"

namespace tavrolin {

class Module1 {
 public:
  // The date settings and the code page stay the same for the life of the
  // readers.
  Module1(basPI_API& api, const DateSettings& date_settings,
          const CodePage& code_page);

  // The point's current value as number text. Never raises: a failure comes
  // back as "error: " followed by its description.
  std::string GetSnapshotText(int32_t point_number, std::string& tag_name);
  // The name of the point's current digital state.
  std::string GetDigitalStateText(int32_t point_number, std::string& tag_name);
  // A summary (kind `code`) of the point's values between two time texts.
  std::string GetSummaryText(int32_t code, const std::string& start_time,
                             const std::string& end_time, int32_t point_number,
                             std::string& tag_name);
  // The point's archived value at a time text.
  std::string GetArchiveText(int32_t point_number, const std::string& time,
                             std::string& tag_name);

  // What the look-ups by name met since the last ForgetLookups(): how many
  // different names were looked up, and the names the historian did not
  // know (its look-up returned a status other than 0 or left the point
  // number at 0), each once, in the order first met. Noting them asks the
  // library nothing more and changes no value.
  void ForgetLookups();
  std::size_t looked_up() const { return looked_up_.size(); }
  const std::vector<std::string>& unknown_points() const {
    return unknown_points_;
  }

 private:
  int32_t ResolvePoint(int32_t point_number, std::string& tag_name);
  int32_t ParseTimeText(const std::string& time_text);
  void NoteUnknown(const std::string& tag_name);

  basPI_API& api_;
  const DateSettings& date_settings_;
  const CodePage& code_page_;

  // The parser texts (in the code page) of the last few time texts: a
  // report asks for the same few times again and again, and the texts depend
  // only on the settings, which are the user's for the life of the readers.
  // Only texts are kept, never anything the historian answered.
  struct ParserText {
    std::string time_text;
    std::string bytes;
  };
  std::vector<ParserText> parser_texts_;
  // The blank state name in the code page: the bytes the state buffer is
  // filled with before each call (made on first use).
  std::optional<std::string> blank_state_;

  // The names looked up, by their hash: a report names the same point again
  // and again, and only their number is wanted.
  std::unordered_set<std::size_t> looked_up_;
  std::vector<std::string> unknown_points_;
  std::unordered_set<std::string> unknown_seen_;
};

}  // namespace tavrolin
