// Tag-list encodings on Linux, converted by glibc's iconv.
#include "platform/text_decoder.h"

#include <string>

#include "platform/posix/iconv_text.h"

namespace tavrolin {
namespace {

class IconvDecoder : public TextDecoder {
 public:
  DecodedText ToUtf8(std::string_view encoding,
                     std::string_view bytes) const override {
    // XML encoding names hold letters, digits, '.', '_' and '-' only, so
    // nothing such as "//TRANSLIT" can reach iconv through them.
    if (!IsTagListEncoding(encoding)) {
      return {DecodedText::Status::kUnknownEncoding, {}};
    }
    const std::string name(encoding);
    return posix::IconvToUtf8(name.c_str(), bytes);
  }
};

}  // namespace

const TextDecoder& SystemTextDecoder() {
  static const IconvDecoder decoder;
  return decoder;
}

}  // namespace tavrolin
