// The template report. A template tag list names a family of like systems
// (an explicit list, or a numbered range A01, A02, ...) and describes once the
// points that every system has, with "XXX" standing for the system's name in
// each point name. For every system and template item a `tag` record with the
// item's display name, point name and value is added under `root`; the whole
// document is then written as the report.
//
// Counters over the system list, the template items and a range are signed
// 16-bit numbers, and the tag lists are written for that limit: a counter
// that has reached 32767 cannot step on, so a list of 32768 entries (or a range
// ending at 32767) fails with an overflow after its last pass, and a longer
// list fails before its first.
#include "reports/template_report.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/ascii.h"
#include "document/document.h"
#include "platform/error.h"
#include "platform/input_file.h"
#include "platform/text_decoder.h"
#include "reports/report_output.h"
#include "reports/time_words.h"

namespace tavrolin {
namespace {

constexpr int32_t kCounterMax = std::numeric_limits<int16_t>::max();
constexpr std::size_t kItemChildren = 3;

// The most text one report may add to its tag list (point names, display
// names, values). A tag list whose "XXX" names expand beyond it fails with a
// clear error instead of taking the machine's memory; a report of this size
// is far beyond what a consumer of the report files reads.
constexpr std::size_t kMaxAddedText = std::size_t{256} << 20;

// A text from the tag list or the historian as an error quotes it: in
// quotation marks, long texts abridged.
std::string Quoted(std::string_view text) {
  return "\"" + Abridged(text) + "\"";
}

std::string Plural(std::size_t count, std::string_view word) {
  return std::to_string(count) + " " + std::string(word) +
         (count == 1 ? "" : "s");
}

std::string KindOfNode(const xml::Node& node) {
  switch (node.kind()) {
    case xml::NodeKind::kElement:
      return "element <" + Abridged(node.Name()) + ">";
    case xml::NodeKind::kText:
      return "text";
    case xml::NodeKind::kCData:
      return "CDATA section";
    case xml::NodeKind::kComment:
      return "comment";
    case xml::NodeKind::kProcessingInstruction:
      return "processing instruction";
    default:
      return "node";
  }
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view WithoutBlanks(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// What the form of a number text says before it is converted.
struct NumberForm {
  bool valid = false;
  bool significant = false;  // a digit other than 0
  // The decimal order of magnitude: digits before the point (leading zeros
  // not counted) plus the exponent, so that a value too large or too small
  // for a double is told apart.
  int64_t order = 0;
};

// Reads the digits of an exponent (cut off at a size that no double
// reaches), from `number[pos]` on; advances `pos`. Nothing when there are
// none.
std::optional<int64_t> ReadExponent(std::string_view number, std::size_t& pos) {
  bool negative = false;
  if (pos < number.size() && (number[pos] == '+' || number[pos] == '-')) {
    negative = number[pos] == '-';
    ++pos;
  }
  int64_t exponent = 0;
  std::size_t exponent_digits = 0;
  while (pos < number.size() && IsDigit(number[pos])) {
    if (exponent < 100000) exponent = exponent * 10 + (number[pos] - '0');
    ++exponent_digits;
    ++pos;
  }
  if (exponent_digits == 0) return std::nullopt;
  return negative ? -exponent : exponent;
}

// Checks the form of `number` (no blanks around it): an optional sign,
// digits with an optional fraction and exponent.
NumberForm FormOfNumber(std::string_view number) {
  NumberForm form;
  std::size_t pos = 0;
  if (pos < number.size() && (number[pos] == '+' || number[pos] == '-')) {
    ++pos;
  }
  std::size_t digits = 0;
  while (pos < number.size() && IsDigit(number[pos])) {
    form.significant = form.significant || number[pos] != '0';
    if (form.significant) ++form.order;
    ++digits;
    ++pos;
  }
  if (pos < number.size() && number[pos] == '.') {
    ++pos;
    while (pos < number.size() && IsDigit(number[pos])) {
      if (!form.significant && number[pos] == '0') --form.order;
      form.significant = form.significant || number[pos] != '0';
      ++digits;
      ++pos;
    }
  }
  form.valid = digits > 0;
  if (form.valid && pos < number.size() &&
      (number[pos] == 'e' || number[pos] == 'E')) {
    ++pos;
    const std::optional<int64_t> exponent = ReadExponent(number, pos);
    form.valid = exponent.has_value();
    form.order += exponent.value_or(0);
  }
  form.valid = form.valid && pos == number.size();
  return form;
}

Error NotANumber(const std::string& what, std::string_view text) {
  return Error(errnum::kTypeMismatch,
               what + " " + Quoted(text) + " is not a number");
}

Error OutsideRange(const std::string& what, std::string_view text, int64_t min,
                   int64_t max) {
  return Error(errnum::kOverflow, what + " " + Quoted(text) + " is outside " +
                                      std::to_string(min) + ".." +
                                      std::to_string(max));
}

// The nearest integer, a half to the even neighbour.
double RoundHalfToEven(double value) {
  double rounded = std::floor(value);
  const double fraction = value - rounded;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0)) {
    rounded += 1;
  }
  return rounded;
}

// The standard text-to-number conversion: blanks around the number allowed,
// an optional sign, digits with an optional fraction and exponent; the value
// is rounded to the nearest integer, a half to the even neighbour. Fails with
// a type mismatch for a text that is no number and with an overflow for a
// value outside min..max. `what` says where the text came from.
int64_t TextToInteger(std::string_view text, int64_t min, int64_t max,
                      const std::string& what) {
  const std::string_view number = WithoutBlanks(text);
  const NumberForm form = FormOfNumber(number);
  if (!form.valid) throw NotANumber(what, text);

  // from_chars takes no leading '+'.
  std::string_view unsigned_part = number;
  if (!unsigned_part.empty() && unsigned_part[0] == '+') {
    unsigned_part.remove_prefix(1);
  }
  double value = 0;
  const auto [ptr, ec] = std::from_chars(
      unsigned_part.data(), unsigned_part.data() + unsigned_part.size(), value);
  if (ec == std::errc::result_out_of_range) {
    if (form.significant && form.order > 0) {
      throw OutsideRange(what, text, min, max);
    }
    value = 0;  // too small to tell from zero
  } else if (ec != std::errc() ||
             ptr != unsigned_part.data() + unsigned_part.size()) {
    throw NotANumber(what, text);
  }

  const double rounded = RoundHalfToEven(value);
  if (!(rounded >= static_cast<double>(min) &&
        rounded <= static_cast<double>(max))) {
    throw OutsideRange(what, text, min, max);
  }
  return static_cast<int64_t>(rounded);
}

// Splits at every ","; an empty text gives no pieces, otherwise empty pieces
// stay.
std::vector<std::string> SplitAtCommas(std::string_view text) {
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) {
      pieces.emplace_back(text.substr(start));
      return pieces;
    }
    pieces.emplace_back(text.substr(start, comma - start));
    start = comma + 1;
  }
}

constexpr std::string_view kPlaceholder = "XXX";

// The length of PointName(pattern, system), worked out without building it.
std::size_t PointNameLength(std::string_view pattern, std::size_t system) {
  std::size_t placeholders = 0;
  for (std::size_t found = pattern.find(kPlaceholder);
       found != std::string_view::npos;
       found = pattern.find(kPlaceholder, found + kPlaceholder.size())) {
    ++placeholders;
  }
  return pattern.size() - placeholders * kPlaceholder.size() +
         placeholders * system;
}

// Every "XXX" replaced by `system`, scanning left to right; replaced text is
// not scanned again. The result goes into `result`, whose buffer is reused.
void PointName(std::string_view pattern, std::string_view system,
               std::string& result) {
  result.clear();
  std::size_t start = 0;
  while (true) {
    const std::size_t found = pattern.find(kPlaceholder, start);
    if (found == std::string_view::npos) {
      result.append(pattern.substr(start));
      return;
    }
    result.append(pattern.substr(start, found - start));
    result.append(system);
    start = found + kPlaceholder.size();
  }
}

// "A" and the number with at least two digits: 7 gives A07, -5 gives A-05.
std::string RangeName(int32_t number) {
  const std::string digits = std::to_string(number < 0 ? -number : number);
  return std::string("A") + (number < 0 ? "-" : "") +
         (digits.size() < 2 ? "0" : "") + digits;
}

// A loop over `count` entries counts them from 0 with a 16-bit counter.
// Before the first pass the counter must reach the last entry, so at most
// kCounterMax + 1 entries pass; after the last pass it must step on once
// more, so kCounterMax is the most that pass then.
enum class CounterCheck { kBeforeLoop, kAfterLoop };

// Fails when a loop over `count` entries overruns the 16-bit counter at the
// point `when`.
void CheckCount(std::size_t count, CounterCheck when, const std::string& what) {
  const std::size_t most = static_cast<std::size_t>(kCounterMax) +
                           (when == CounterCheck::kBeforeLoop ? 1 : 0);
  if (count > most) {
    throw Error(errnum::kOverflow, what + " holds " + std::to_string(count) +
                                       " entries, more than " +
                                       std::to_string(kCounterMax));
  }
}

// What one template item says, read from the document once per run.
struct TemplateItem {
  xml::Node node;
  xml::Node kind_node;
  std::string display_name;
  std::string pattern;
  std::string kind;  // upper case
  std::optional<std::string> code, start_date, end_date, arch_date;
  std::optional<int32_t> code_number;  // `code` converted, once it has been
};

std::optional<std::string> OptionalAttribute(const xml::Node& node,
                                             std::string_view name) {
  if (!node.IsElement()) return std::nullopt;
  return node.Attribute(name);
}

class TemplateReport {
 public:
  TemplateReport(ReportServices& services, const std::string& input_file)
      : services_(services),
        file_(input_file),
        start_words_(services.clock, services.date_settings),
        end_words_(services.clock, services.date_settings),
        arch_words_(services.clock, services.date_settings) {}

  void Build(const std::string& output_path) {
    // A file that cannot be opened or loaded leaves the document empty, and
    // the run fails with the reason the file was not read.
    if (!document_.Load(*OpenInputFile(file_))) {
      throw Error(errnum::kObjectNotSet, document_.load_error());
    }
    const std::vector<std::string> systems = SystemNames();

    xml::Node items_parent = document_.FirstElementByTagName("XXX");
    if (!items_parent) Fail(errnum::kObjectNotSet, "no <XXX> element");
    items_ = items_parent.ChildNodes();
    root_ = document_.FirstElementByTagName("root");
    // Records appended under <XXX> would change the items that later
    // systems read: then each system's records become nodes at once, and
    // the items are read afresh for every system.
    records_change_items_ = root_ && root_.IsInside(items_parent);
    item_cache_.resize(items_.Length());

    CheckCount(systems.size(), CounterCheck::kBeforeLoop,
               Where("the list of systems"));
    for (const std::string& system : systems) AddSystem(system);
    CheckCount(systems.size(), CounterCheck::kAfterLoop,
               Where("the list of systems"));

    WriteReport(document_, output_path, services_.code_page, services_.writer,
                root_, &records_);
  }

 private:
  [[noreturn]] void Fail(int32_t number, const std::string& what) const {
    throw Error(number, Where(what));
  }
  std::string Where(const std::string& what) const {
    return file_ + ": " + what;
  }

  std::vector<std::string> SystemNames() {
    xml::Node system = document_.FirstElementByTagName("system");
    if (!system) Fail(errnum::kObjectNotSet, "no <system> element");
    const xml::Node selector = system.ChildAt(0);
    if (!selector) Fail(errnum::kObjectNotSet, "<system> has no child nodes");
    if (!selector.IsElement()) {
      Fail(errnum::kObjectNotSet, "child node 0 of <system> is a " +
                                      KindOfNode(selector) +
                                      ", not the system selector element");
    }
    const std::string where = "<system>/<" + Abridged(selector.Name()) + ">";
    const xml::Node mode = selector.ChildAt(0);
    if (!mode) {
      Fail(errnum::kObjectNotSet, where + " has no child node 0 (the mode)");
    }
    const bool custom = mode.Text() == "custom";
    const xml::Node systems = selector.ChildAt(1);
    if (!systems) {
      Fail(errnum::kObjectNotSet,
           where + " has no child node 1 (the list of systems)");
    }
    const std::string text = systems.Text();
    if (custom) return SplitAtCommas(text);
    return RangeNames(text, where);
  }

  std::vector<std::string> RangeNames(const std::string& text,
                                      const std::string& where) {
    const std::vector<std::string> pieces = SplitAtCommas(text);
    if (pieces.size() < 2) {
      Fail(errnum::kSubscript, "the range " + Quoted(text) + " in " + where +
                                   " needs two numbers, first,last");
    }
    const std::string range = "the range " + Quoted(text) + " in " + where;
    const auto last = static_cast<int32_t>(
        TextToInteger(pieces[1], std::numeric_limits<int16_t>::min(),
                      kCounterMax, Where("last number of " + range + ":")));
    const auto first = static_cast<int32_t>(
        TextToInteger(pieces[0], std::numeric_limits<int16_t>::min(),
                      kCounterMax, Where("first number of " + range + ":")));
    if (first > last) {
      Fail(errnum::kInvalidArgument,
           range + " is empty: its first number " + std::to_string(first) +
               " is greater than its last " + std::to_string(last));
    }
    // The counter steps past the last number after the last pass.
    if (last == kCounterMax) {
      Fail(errnum::kOverflow, range + " ends at " +
                                  std::to_string(kCounterMax) +
                                  "; the last number must be below " +
                                  std::to_string(kCounterMax));
    }
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(int64_t{last} - first + 1));
    for (int32_t i = first; i <= last; ++i) names.push_back(RangeName(i));
    return names;
  }

  void AddSystem(const std::string& system) {
    std::optional<xml::ElementName> element;
    try {
      element.emplace(system);
    } catch (const Error& e) {
      throw Error(e.number(), Where("system name " + Quoted(system) +
                                    " is not a valid element name"));
    }
    const std::size_t count = items_.Length();
    CheckCount(count, CounterCheck::kBeforeLoop, Where("<XXX>"));
    records_.Open(*element);
    for (std::size_t j = 0; j < count; ++j) {
      records_.Open(kTag);
      AddItem(system, j);
      records_.Close(kTag);
      services_.Advance();
    }
    records_.Close(*element);
    CheckCount(count, CounterCheck::kAfterLoop, Where("<XXX>"));
    if (!root_) {
      Fail(errnum::kObjectNotSet,
           "no <root> element to take the records of system " + Quoted(system));
    }
    if (records_change_items_) {
      root_.AppendElements(records_);
      records_.Clear();
    }
  }

  // The item's parts, from the document when items can change from one
  // system to the next, else as read for the first system.
  TemplateItem& Item(std::size_t j) {
    TemplateItem& item = item_cache_[j];
    if (item.node && !records_change_items_) return item;
    item = TemplateItem();
    item.node = items_.Item(j);
    const std::size_t parts = item.node.ChildCount();
    if (parts < kItemChildren) {
      Fail(errnum::kObjectNotSet,
           "item " + std::to_string(j + 1) + " of <XXX>" +
               (item.node.IsElement()
                    ? ""
                    : " is a " + KindOfNode(item.node) + " and") +
               " has " + Plural(parts, "child node") + ", needs " +
               std::to_string(kItemChildren));
    }
    const xml::Node display = item.node.ChildAt(0);
    const xml::Node pattern = display.NextSibling();
    item.kind_node = pattern.NextSibling();
    item.display_name = display.Text();
    item.pattern = pattern.Text();
    item.kind = UpperCase(item.kind_node.Text());
    if (item.kind == "SUMMARY") {
      item.code = OptionalAttribute(item.kind_node, "code");
      item.start_date = OptionalAttribute(item.kind_node, "startdate");
      item.end_date = OptionalAttribute(item.kind_node, "enddate");
    } else if (item.kind == "ARCHIVE") {
      item.arch_date = OptionalAttribute(item.kind_node, "archdate");
    }
    return item;
  }

  void AddItem(const std::string& system, std::size_t j) {
    TemplateItem& item = Item(j);
    CountAddedText(
        item.display_name.size() + PointNameLength(item.pattern, system.size()),
        j, system);
    PointName(item.pattern, system, point_name_);
    records_.AddTextElement(kName, item.display_name);
    records_.AddTextElement(kPointid, point_name_);
    if (item.kind == "SNAPSHOT") {
      records_.AddTextElement(
          kValue, services_.readers.GetSnapshotText(0, point_name_));
    } else if (item.kind != "SUMMARY" && item.kind != "ARCHIVE") {
      records_.AddTextElement(kValue, "-99999");
    } else {
      records_.AddTextElement(kValue, HistoryText(item, system, j));
    }
    ++services_.values_written;
  }

  // The value of a SUMMARY or ARCHIVE item.
  std::string HistoryText(TemplateItem& item, const std::string& system,
                          std::size_t j) {
    const auto where = [&] {
      return "item " + std::to_string(j + 1) + " of <XXX> for system " +
             Quoted(system) + " (point " + Quoted(point_name_) + ")";
    };
    if (!item.kind_node.IsElement()) {
      Fail(errnum::kObjectNotSet, where() + ": the kind " + Quoted(item.kind) +
                                      " is a " + KindOfNode(item.kind_node) +
                                      ", not an element with attributes");
    }
    try {
      if (item.kind == "SUMMARY") {
        if (!item.code_number) {
          item.code_number = static_cast<int32_t>(TextToInteger(
              Attribute(item.kind_node, item.code, "code"),
              std::numeric_limits<int32_t>::min(),
              std::numeric_limits<int32_t>::max(), "attribute code"));
        }
        const std::string& start = start_words_.Resolve(
            Attribute(item.kind_node, item.start_date, "startdate"));
        const std::string& end = end_words_.Resolve(
            Attribute(item.kind_node, item.end_date, "enddate"));
        return services_.readers.GetSummaryText(*item.code_number, start, end,
                                                0, point_name_);
      }
      const std::string& time = arch_words_.Resolve(
          Attribute(item.kind_node, item.arch_date, "archdate"));
      return services_.readers.GetArchiveText(0, time, point_name_);
    } catch (const Error& e) {
      throw Error(e.number(), Where(where() + ": " + e.description()));
    }
  }

  // Counts text the report adds; fails once the report would grow beyond
  // its bound.
  void CountAddedText(std::size_t bytes, std::size_t j,
                      const std::string& system) {
    if (bytes > kMaxAddedText - added_text_) {
      Fail(errnum::kOutOfMemory,
           "Out of memory: the report would grow beyond " +
               std::to_string(kMaxAddedText >> 20) + " MB of names at item " +
               std::to_string(j + 1) + " of <XXX> for system " +
               Quoted(system) +
               " (the point names that \"XXX\" expands to are too "
               "long or too many)");
    }
    added_text_ += bytes;
  }

  static const std::string& Attribute(const xml::Node& node,
                                      const std::optional<std::string>& value,
                                      std::string_view name) {
    if (!value) {
      throw Error(errnum::kObjectNotSet, "<" + Abridged(node.Name()) +
                                             "> has no attribute " +
                                             std::string(name));
    }
    return *value;
  }

  ReportServices& services_;
  const std::string& file_;
  xml::Document document_{SystemTextDecoder()};
  xml::NodeList items_;
  xml::Node root_;
  bool records_change_items_ = false;
  std::vector<TemplateItem> item_cache_;
  xml::ElementStream records_;
  std::string point_name_;
  TimeWords start_words_;
  TimeWords end_words_;
  TimeWords arch_words_;
  const xml::ElementName kTag{"tag"};
  const xml::ElementName kName{"Name"};
  const xml::ElementName kPointid{"Pointid"};
  const xml::ElementName kValue{"Value"};
  std::size_t added_text_ = 0;
};

}  // namespace

void MakeTemplateReport(ReportServices& services, const std::string& input_file,
                        const std::string& output_path) {
  TemplateReport(services, input_file).Build(output_path);
}

}  // namespace tavrolin
