// Text in a named encoding to UTF-8: the tag lists that declare an encoding
// the XML parser does not read itself (windows-1251, Shift_JIS, ...). Each
// system converts through its own converters: iconv on Linux, the system's
// code pages on Windows.
#pragma once

#include <string>
#include <string_view>

namespace tavrolin {

struct DecodedText {
  enum class Status {
    kDone,             // `text` holds the whole input as UTF-8
    kUnknownEncoding,  // the system has no converter for the name
    kInvalidBytes,     // the input is not valid text in that encoding
  };
  Status status = Status::kDone;
  // The UTF-8 text; on kInvalidBytes, the text before the first invalid
  // byte when the converter can tell where that is, else empty.
  std::string text;
};

class TextDecoder {
 public:
  virtual ~TextDecoder() = default;
  // `bytes`, in the encoding named `encoding` (an XML encoding name such as
  // "windows-1251" or "Shift_JIS", in any letter case), as UTF-8.
  virtual DecodedText ToUtf8(std::string_view encoding,
                             std::string_view bytes) const = 0;
};

// True for the encodings a tag list may be written in beyond those the XML
// parser reads itself: the 8-bit code pages of the IANA registry (ISO-8859,
// windows-125x, KOI8, the DOS and Mac code pages) and the common CJK
// multi-byte ones (Shift_JIS, EUC-JP, GBK, GB18030, Big5, EUC-KR), by their
// registered names and usual aliases, in any letter case. The system
// decoders convert these and no others: the same list on every system, and
// none of the rarely used converters (stateful ISO-2022 forms, UTF-7) that
// a crafted tag list could otherwise reach.
bool IsTagListEncoding(std::string_view encoding);

// The system's converters, for the encodings IsTagListEncoding admits.
const TextDecoder& SystemTextDecoder();

}  // namespace tavrolin
