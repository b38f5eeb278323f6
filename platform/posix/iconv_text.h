// Text in a character set iconv knows, converted to UTF-8. Shared by the
// tag-list decoder, the locale's date settings and the simulator's month
// names.
#pragma once

#include <string_view>

#include "platform/text_decoder.h"

namespace tavrolin::posix {

// `bytes` in the character set named `encoding` as UTF-8: kUnknownEncoding
// when iconv has no converter for the name, kInvalidBytes when the bytes are
// not valid in it (or end inside a character).
DecodedText IconvToUtf8(const char* encoding, std::string_view bytes);

}  // namespace tavrolin::posix
