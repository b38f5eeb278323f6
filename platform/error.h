// The error that travels from a failing step to the trap that reports it:
// a 32-bit number and a description.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tavrolin {

class Error : public std::runtime_error {
 public:
  Error(int32_t number, std::string description);

  int32_t number() const { return number_; }
  const std::string& description() const { return description_; }

 private:
  int32_t number_;
  std::string description_;
};

// Error numbers used by the program. The small ones are the run-time error
// numbers that the event-log entries have always carried; operators and their
// tools look for them, so each failure keeps its number.
namespace errnum {
inline constexpr int32_t kInvalidArgument = 5;  // invalid call or argument
inline constexpr int32_t kOverflow = 6;         // a 16-bit counter overflowed
inline constexpr int32_t kOutOfMemory = 7;
inline constexpr int32_t kSubscript = 9;          // no such item in a list
inline constexpr int32_t kTypeMismatch = 13;      // a text is not a number
inline constexpr int32_t kDllLoad = 48;           // library found, not loaded
inline constexpr int32_t kInternal = 51;          // an unexpected exception
inline constexpr int32_t kFileNotFound = 53;      // library not found
inline constexpr int32_t kPermissionDenied = 70;  // library in an unsafe folder
inline constexpr int32_t kPathAccess = 75;        // report file not written
inline constexpr int32_t kObjectNotSet = 91;      // element or node missing
inline constexpr int32_t kEntryPoint = 453;       // function not in library
// The document layer's failures (a name that is not a valid element name).
inline constexpr int32_t kXmlFailure = static_cast<int32_t>(0x80004005u);
}  // namespace errnum

// Log lines stay short whatever a tag list or the historian holds: a text
// quoted in a description is cut to this many bytes, and a whole message to
// the second limit (a line of the log stays under 4 KiB).
inline constexpr std::size_t kQuotedTextLimit = 300;
inline constexpr std::size_t kMessageLimit = 3800;

// `text` when it has at most `limit` bytes; otherwise its first bytes (cut at
// a character boundary of UTF-8 text), "… " and its whole length in
// characters: "AAAA… (1,000,000 characters)".
std::string Abridged(std::string_view text,
                     std::size_t limit = kQuotedTextLimit);

// The event-log message of an error: "[" number "] " description, abridged
// to kMessageLimit bytes. Every failure the service logs is written so.
std::string ErrorReportMessage(const Error& error);

// Turns any exception that escaped as something other than Error into an
// Error, so that a trap can report it the same way.
Error ToError(const std::exception& e);

}  // namespace tavrolin
