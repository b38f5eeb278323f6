// Tag-list encodings on Linux: every encoding glibc's iconv converts.
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
