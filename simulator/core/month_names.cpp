#include "simulator/core/month_names.h"

#include <utility>

namespace tavrolin::simulator {
namespace {

// The index of the one entry of `candidates` that `matches`; nothing when
// none or several do.
template <typename Candidates, typename Matches>
std::optional<int> OnlyMatch(const Candidates& candidates, Matches matches) {
  std::optional<int> found;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (!matches(candidates[i])) continue;
    if (found) return std::nullopt;
    found = static_cast<int>(i) + 1;
  }
  return found;
}

std::optional<std::wstring> FoldAscii(std::string_view text) {
  std::wstring folded;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) return std::nullopt;
    folded.push_back(static_cast<wchar_t>(
        byte >= 'A' && byte <= 'Z' ? byte - 'A' + 'a' : byte));
  }
  return folded;
}

}  // namespace

MonthSpelling::MonthSpelling(std::array<std::string, 12> names, Fold fold)
    : names_(std::move(names)), fold_(std::move(fold)) {
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (!names_[i].empty()) folded_[i] = fold_(names_[i]);
  }
}

std::optional<int> MonthSpelling::Exact(std::string_view text) const {
  if (text.empty()) return std::nullopt;
  return OnlyMatch(names_,
                   [text](const std::string& name) { return name == text; });
}

std::optional<int> MonthSpelling::Folded(std::string_view text) const {
  if (text.empty()) return std::nullopt;
  const auto folded = fold_(text);
  if (!folded) return std::nullopt;
  return OnlyMatch(folded_, [&folded](const std::optional<std::wstring>& name) {
    return name && *name == *folded;
  });
}

MonthSpelling EnglishMonths() {
  return MonthSpelling({"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug",
                        "Sep", "Oct", "Nov", "Dec"},
                       FoldAscii);
}

std::optional<int> FindMonth(std::string_view text,
                             std::span<const MonthSpelling> spellings) {
  for (const MonthSpelling& spelling : spellings) {
    if (const auto month = spelling.Exact(text)) return month;
  }
  for (const MonthSpelling& spelling : spellings) {
    if (const auto month = spelling.Folded(text)) return month;
  }
  return std::nullopt;
}

MonthSpellings MonthSpellingCache::Get(
    const std::string& key,
    const std::function<std::vector<MonthSpelling>()>& make) {
  std::lock_guard lock(mutex_);
  if (!spellings_ || key != key_) {
    spellings_ = std::make_shared<const std::vector<MonthSpelling>>(make());
    key_ = key;
  }
  return spellings_;
}

}  // namespace tavrolin::simulator
