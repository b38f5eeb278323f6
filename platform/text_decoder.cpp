#include "platform/text_decoder.h"

#include <algorithm>
#include <string>

#include "common/ascii.h"

namespace tavrolin {
namespace {

// The number after `prefix` in `name`, when `name` is `prefix` and one or
// two digits; -1 otherwise.
int NumberAfter(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix)) return -1;
  const std::string_view digits = name.substr(prefix.size());
  if (digits.empty() || digits.size() > 2 || digits.front() == '0' ||
      !std::all_of(digits.begin(), digits.end(),
                   [](char c) { return c >= '0' && c <= '9'; })) {
    return -1;
  }
  return std::stoi(std::string(digits));
}

}  // namespace

bool IsTagListEncoding(std::string_view encoding) {
  const std::string name = LowerCase(encoding);
  static constexpr std::string_view kNames[] = {
      // 8-bit code pages: Cyrillic, DOS, Mac and Thai.
      "koi8-r", "koi8-u", "ibm866", "cp866", "ibm437", "cp437", "ibm850",
      "cp850", "ibm852", "cp852", "macintosh", "tis-620", "windows-874",
      "cp874", "latin1", "l1", "us-ascii", "ascii", "utf-8", "utf8",
      // Japanese, Chinese and Korean multi-byte code pages.
      "shift_jis", "shift-jis", "sjis", "windows-31j", "cp932", "euc-jp", "gbk",
      "gb2312", "cp936", "gb18030", "big5", "big5-hkscs", "cp950", "euc-kr",
      "ks_c_5601-1987", "cp949"};
  if (std::find(std::begin(kNames), std::end(kNames), name) !=
      std::end(kNames)) {
    return true;
  }
  // windows-1250 to windows-1258.
  for (const std::string_view prefix : {"windows-125", "cp125"}) {
    if (name.size() == prefix.size() + 1 && name.starts_with(prefix) &&
        name.back() >= '0' && name.back() <= '8') {
      return true;
    }
  }
  // ISO-8859-1 to 16 (there is no part 12).
  for (const std::string_view prefix : {"iso-8859-", "iso8859-", "iso_8859-"}) {
    const int part = NumberAfter(name, prefix);
    if (part >= 1 && part <= 16 && part != 12) return true;
  }
  return false;
}

}  // namespace tavrolin
