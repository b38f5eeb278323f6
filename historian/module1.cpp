#include "historian/module1.h"

#include <algorithm>
#include <array>
#include <exception>
#include <functional>
#include <new>
#include <string_view>
#include <vector>

#include "historian/number_text.h"
#include "historian/time_text.h"
#include "platform/error.h"

namespace tavrolin {
namespace {

// The state buffer handed to pipt_digstate, in characters.
constexpr int32_t kStateLength = 40;

// The point-name buffer handed to pipt_findpoint holds at least this many
// bytes, so that a library that writes back its own, longer spelling of the
// name stays inside it.
constexpr std::size_t kPointNameBuffer = 256;

// Archived values are asked for in this mode.
constexpr int32_t kArchiveMode = 3;

}  // namespace

Module1::Module1(basPI_API& api, const DateSettings& date_settings,
                 const CodePage& code_page)
    : api_(api), date_settings_(date_settings), code_page_(code_page) {}

// A point number of 0 means "look the point up by its name". The name goes to
// the library NUL-terminated in a zero-filled buffer of at least
// kPointNameBuffer bytes and comes back from that buffer, up to its first
// NUL, and never beyond the buffer. The value is asked for whatever the
// lookup answered (a name the historian does not know leaves the cell at 0);
// such a name is only noted.
int32_t Module1::ResolvePoint(int32_t point_number, std::string& tag_name) {
  if (point_number != 0) return point_number;
  // Names of usual length go through a zero-filled buffer on the stack: no
  // allocation, and nothing left on the heap between the pieces of a report.
  std::array<char, kPointNameBuffer> small{};
  std::vector<char> large;
  const std::string converted =
      code_page_.IsUtf8() ? std::string() : code_page_.FromUtf8(tag_name);
  const std::string_view bytes =
      code_page_.IsUtf8() ? std::string_view(tag_name) : converted;
  char* buffer = small.data();
  std::size_t buffer_size = small.size();
  if (bytes.size() >= small.size()) {
    large.assign(bytes.size() + 1, '\0');
    buffer = large.data();
    buffer_size = large.size();
  }
  std::copy(bytes.begin(), bytes.end(), buffer);
  int32_t found = 0;
  const int32_t status = api_.pipt_findpoint(buffer, &found);
  looked_up_.insert(std::hash<std::string>()(tag_name));
  if (status != 0 || found == 0) NoteUnknown(tag_name);
  const std::string_view name(
      buffer, std::find(buffer, buffer + buffer_size, '\0') - buffer);
  if (code_page_.IsUtf8()) {
    tag_name.assign(name);
  } else {
    tag_name = code_page_.ToUtf8(name);
  }
  return found;
}

void Module1::NoteUnknown(const std::string& tag_name) {
  if (unknown_seen_.insert(tag_name).second) {
    unknown_points_.push_back(tag_name);
  }
}

void Module1::ForgetLookups() {
  looked_up_.clear();
  unknown_points_.clear();
  unknown_seen_.clear();
}

// A time text to the historian's count of time: read as a date and time,
// written for the library's parser, parsed against the library's current
// time. The empty text is parsed as the empty text.
int32_t Module1::ParseTimeText(const std::string& time_text) {
  static constexpr std::size_t kKept = 8;
  const ParserText* parser_text = nullptr;
  for (const ParserText& kept : parser_texts_) {
    if (kept.time_text == time_text) parser_text = &kept;
  }
  if (parser_text == nullptr) {
    // Made before the clock is read: a text that cannot be read fails first.
    std::string text;
    AppendParserTimeText(time_text, date_settings_, text);
    if (parser_texts_.size() == kKept) parser_texts_.clear();
    parser_texts_.push_back({time_text, code_page_.FromUtf8(text)});
    parser_text = &parser_texts_.back();
  }
  const int32_t now = api_.pitm_systime();
  int32_t time = 0;
  api_.pitm_parsetime(parser_text->bytes.c_str(), now, &time);
  return time;
}

std::string Module1::GetSnapshotText(int32_t point_number,
                                     std::string& tag_name) {
  try {
    const int32_t point = ResolvePoint(point_number, tag_name);
    float value = 0;
    int32_t status = 0;
    int32_t time = 0;
    api_.pisn_getsnapshot(point, &value, &status, &time);
    return NumberText(value);
  } catch (const std::bad_alloc&) {
    // Out of memory is no value of a point: the report fails, naming itself.
    throw;
  } catch (const std::exception& e) {
    return "error: " + ToError(e).description();
  }
}

std::string Module1::GetDigitalStateText(int32_t point_number,
                                         std::string& tag_name) {
  const int32_t point = ResolvePoint(point_number, tag_name);
  float value = 0;
  int32_t status = 0;
  int32_t time = 0;
  api_.pisn_getsnapshot(point, &value, &status, &time);

  if (!blank_state_) {
    blank_state_ = code_page_.FromUtf8(std::string(kStateLength, ' '));
  }
  std::array<char, kStateLength> buffer;
  buffer.fill(' ');
  std::copy_n(blank_state_->begin(),
              std::min<std::size_t>(blank_state_->size(), kStateLength),
              buffer.begin());
  api_.pipt_digstate(status, buffer.data(), kStateLength);

  std::string state =
      code_page_.ToUtf8(std::string_view(buffer.data(), buffer.size()));
  const auto end = state.find('\0');
  if (end == std::string::npos) {
    throw Error(errnum::kInvalidArgument,
                "Invalid procedure call or argument: the name of state " +
                    std::to_string(status) + " of point " +
                    std::to_string(point) +
                    " came back from the historian without an ending NUL "
                    "character");
  }
  state.resize(end);
  return state;
}

std::string Module1::GetSummaryText(int32_t code, const std::string& start_time,
                                    const std::string& end_time,
                                    int32_t point_number,
                                    std::string& tag_name) {
  const int32_t point = ResolvePoint(point_number, tag_name);
  int32_t start = ParseTimeText(start_time);
  int32_t end = ParseTimeText(end_time);
  float value = 0;
  float percent_good = 0;
  api_.piar_summary(point, &start, &end, &value, &percent_good, code);
  return NumberText(value);
}

std::string Module1::GetArchiveText(int32_t point_number,
                                    const std::string& time,
                                    std::string& tag_name) {
  const int32_t point = ResolvePoint(point_number, tag_name);
  int32_t at = ParseTimeText(time);
  float value = 0;
  int32_t status = 0;
  api_.piar_value(point, &at, kArchiveMode, &value, &status);
  return NumberText(value);
}

}  // namespace tavrolin
