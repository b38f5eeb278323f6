#include "platform/posix/iconv_text.h"

#include <iconv.h>

#include <cerrno>
#include <memory>
#include <string>
#include <type_traits>

namespace tavrolin::posix {
namespace {

struct IconvCloser {
  void operator()(iconv_t handle) const { (void)iconv_close(handle); }
};
using Iconv = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

}  // namespace

DecodedText IconvToUtf8(const char* encoding, std::string_view bytes) {
  DecodedText result;
  iconv_t opened = iconv_open("UTF-8", encoding);
  // iconv_open's failure value is the address -1.
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  if (opened == reinterpret_cast<iconv_t>(-1)) {
    result.status = DecodedText::Status::kUnknownEncoding;
    return result;
  }
  const Iconv converter(opened);
  std::string& out = result.text;
  out.resize(bytes.size() * 2 + 16);
  // iconv's interface takes non-const input; it only reads it.
  char* in = const_cast<char*>(bytes.data());
  std::size_t in_left = bytes.size();
  std::size_t written = 0;
  bool flushing = false;
  for (;;) {
    char* out_at = out.data() + written;
    std::size_t out_left = out.size() - written;
    const std::size_t done =
        flushing ? iconv(converter.get(), nullptr, nullptr, &out_at, &out_left)
                 : iconv(converter.get(), &in, &in_left, &out_at, &out_left);
    written = out.size() - out_left;
    if (done != static_cast<std::size_t>(-1)) {
      if (flushing) break;
      flushing = true;  // write out what a stateful encoding still holds
      continue;
    }
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    // EILSEQ: an invalid sequence; EINVAL: the input ends inside one.
    out.resize(written);
    result.status = DecodedText::Status::kInvalidBytes;
    return result;
  }
  out.resize(written);
  return result;
}

}  // namespace tavrolin::posix
