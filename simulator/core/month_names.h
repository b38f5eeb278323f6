// Month abbreviations in time texts: the twelve names of one locale in one
// character set, and the search for a month among several such spellings.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavrolin::simulator {

class MonthSpelling {
 public:
  // A text of the spelling's character set in lower case, as wide
  // characters; nothing when the text is not valid in that character set.
  using Fold = std::function<std::optional<std::wstring>(std::string_view)>;

  // `names` January first, as bytes of the character set that `fold` reads.
  MonthSpelling(std::array<std::string, 12> names, Fold fold);

  // The month (1..12) whose name is `text` byte for byte; nothing when no
  // name is, or when several months share that name.
  std::optional<int> Exact(std::string_view text) const;
  // The month whose name is `text` when letter case is disregarded, with
  // the same rule for shared names.
  std::optional<int> Folded(std::string_view text) const;

  const std::array<std::string, 12>& names() const { return names_; }

 private:
  std::array<std::string, 12> names_;
  std::array<std::optional<std::wstring>, 12> folded_;
  Fold fold_;
};

// "Jan" to "Dec", letter case folded in ASCII.
MonthSpelling EnglishMonths();

// The month that `text` names: in the first of `spellings` that has it byte
// for byte, or else in the first that has it without regard to letter case.
std::optional<int> FindMonth(std::string_view text,
                             std::span<const MonthSpelling> spellings);

using MonthSpellings = std::shared_ptr<const std::vector<MonthSpelling>>;

// Keeps the spellings made for one key (the locale settings they come from)
// until a call with another key makes new ones. Safe from several threads.
class MonthSpellingCache {
 public:
  MonthSpellings Get(const std::string& key,
                     const std::function<std::vector<MonthSpelling>()>& make);

 private:
  std::mutex mutex_;
  std::string key_;
  MonthSpellings spellings_;
};

}  // namespace tavrolin::simulator
