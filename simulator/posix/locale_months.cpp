#include "simulator/posix/locale_months.h"

#include <langinfo.h>
#include <locale.h>
#include <wctype.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <optional>
#include <string_view>
#include <type_traits>

#include "common/ascii.h"
#include "platform/posix/iconv_text.h"
#include "platform/posix/locale_name.h"
#include "simulator/locale_months.h"

namespace tavrolin::simulator {
namespace posix {
namespace {

using Locale = std::shared_ptr<std::remove_pointer_t<locale_t>>;

Locale OpenLocale(int categories, const char* name) {
  const locale_t locale =
      newlocale(categories, name, static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) return nullptr;
  return Locale(locale, freelocale);
}

// Reads `text` in the character set of `locale`'s LC_CTYPE and folds each
// character to lower case by that locale's tables.
std::optional<std::wstring> FoldIn(const Locale& locale,
                                   std::string_view text) {
  const locale_t previous = uselocale(locale.get());
  std::wstring folded;
  std::mbstate_t state{};
  bool valid = true;
  while (!text.empty()) {
    wchar_t character = 0;
    std::size_t length =
        std::mbrtowc(&character, text.data(), text.size(), &state);
    if (length == static_cast<std::size_t>(-1) ||
        length == static_cast<std::size_t>(-2)) {
      valid = false;
      break;
    }
    if (length == 0) length = 1;  // a NUL character
    folded.push_back(static_cast<wchar_t>(
        towlower_l(static_cast<wint_t>(character), locale.get())));
    text.remove_prefix(length);
  }
  uselocale(previous);
  if (!valid) return std::nullopt;
  return folded;
}

MonthSpelling::Fold FoldingIn(Locale locale) {
  return [locale = std::move(locale)](std::string_view text) {
    return FoldIn(locale, text);
  };
}

// `text` in the character set `codeset` converted to UTF-8.
std::optional<std::string> ToUtf8(std::string_view text, const char* codeset) {
  DecodedText converted = tavrolin::posix::IconvToUtf8(codeset, text);
  if (converted.status != DecodedText::Status::kDone) return std::nullopt;
  return std::move(converted.text);
}

}  // namespace

std::vector<MonthSpelling> SpellingsOfLocale(const std::string& name) {
  std::vector<MonthSpelling> spellings;
  if (tavrolin::posix::IsCLocale(name)) return spellings;
  // The names come in the character set that the locale's LC_TIME data were
  // made for, which is also its LC_CTYPE's: both are taken from the one
  // locale.
  const Locale locale = OpenLocale(LC_TIME_MASK | LC_CTYPE_MASK, name.c_str());
  if (!locale) return spellings;
  static constexpr nl_item kMonths[] = {ABMON_1, ABMON_2,  ABMON_3,  ABMON_4,
                                        ABMON_5, ABMON_6,  ABMON_7,  ABMON_8,
                                        ABMON_9, ABMON_10, ABMON_11, ABMON_12};
  std::array<std::string, 12> names;
  bool ascii = true;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const char* text = nl_langinfo_l(kMonths[i], locale.get());
    names[i] = text != nullptr ? text : "";
    ascii = ascii && IsAscii(names[i]);
  }
  const std::string codeset = nl_langinfo_l(CODESET, locale.get());
  spellings.emplace_back(names, FoldingIn(locale));
  if (ascii || codeset == "UTF-8") return spellings;

  // Programs that keep their texts in UTF-8 hand the names over converted.
  std::array<std::string, 12> utf8_names;
  for (std::size_t i = 0; i < names.size(); ++i) {
    auto converted = ToUtf8(names[i], codeset.c_str());
    if (!converted) return spellings;
    utf8_names[i] = std::move(*converted);
  }
  // C.UTF-8 folds every character; without it only exact names match.
  const Locale utf8 = OpenLocale(LC_CTYPE_MASK, "C.UTF-8");
  MonthSpelling::Fold fold = [](std::string_view) {
    return std::optional<std::wstring>();
  };
  if (utf8) fold = FoldingIn(utf8);
  spellings.emplace_back(utf8_names, std::move(fold));
  return spellings;
}

}  // namespace posix

MonthSpellings CurrentMonthSpellings() {
  static MonthSpellingCache cache;
  // The process's own LC_TIME locale, as a host program may have set it,
  // and the locale that the environment names, which programs that format
  // times by the user's settings without setting their own locale follow.
  const char* current = setlocale(LC_TIME, nullptr);
  const std::string process = current != nullptr ? current : "C";
  const std::string environment = tavrolin::posix::EnvironmentTimeLocale();
  return cache.Get(process + '\n' + environment, [&] {
    std::vector<MonthSpelling> spellings = posix::SpellingsOfLocale(process);
    if (environment != process) {
      for (auto& spelling : posix::SpellingsOfLocale(environment)) {
        spellings.push_back(std::move(spelling));
      }
    }
    spellings.push_back(EnglishMonths());
    return spellings;
  });
}

}  // namespace tavrolin::simulator
