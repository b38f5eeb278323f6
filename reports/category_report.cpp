#include "reports/category_report.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/ascii.h"
#include "document/document.h"
#include "platform/error.h"
#include "platform/input_file.h"
#include "platform/text_decoder.h"
#include "reports/report_output.h"

namespace tavrolin {
namespace {

using Reader = std::string (Module1::*)(int32_t, std::string&);

struct Category {
  std::string_view name;
  Reader reader;
};

// The categories in the order they are filled, each with its reader.
constexpr Category kCategories[] = {
    {"analog", &Module1::GetSnapshotText},
    {"analog2", &Module1::GetSnapshotText},
    {"digital", &Module1::GetDigitalStateText},
    {"breaker", &Module1::GetDigitalStateText},
};
constexpr int kCategoryCount = 4;

// Items are counted with a signed 16-bit index: a category holds at most this
// many items, and a longer one fails rather than being cut short, so that a
// report never silently leaves points out.
constexpr int16_t kLastIndex = INT16_MAX;

std::string Where(std::string_view category, const std::string& input_file) {
  return "<" + std::string(category) + "> of " + input_file;
}

// Where the value of an item of an earlier category stands inside the text
// of a point name: that value's element is part of the text by then.
struct ValueInName {
  std::size_t at;  // position in the name's text
  int category;
  std::size_t item;
};

// An item: a child node of a category element.
struct Item {
  std::size_t place = 0;     // where its added value goes
  std::size_t children = 0;  // its child nodes
  // The point name, the text content of its second child node: the text
  // in the category's `names`, with the values listed in `values_in_names`
  // from `first_value` on set into it.
  std::size_t name_begin = 0;
  std::size_t name_size = 0;
  std::size_t first_value = 0;
  std::size_t value_count = 0;
};

struct CategoryList {
  bool found = false;
  std::vector<Item> items;
  std::string names;
  std::vector<ValueInName> values_in_names;
  // The category element is itself item `item_of_item` of the category
  // `item_of` (-1 when it is no item); the value added to it then follows
  // its own items as one more.
  int item_of = -1;
  std::size_t item_of_item = 0;
  std::vector<std::string> values;
};

// Collects what the report needs from the tag list in one pass, before any
// value is added: the first element of each category's name, its items,
// their child counts and point names. A category is filled after the values
// of the earlier ones were added, and sees them: a value added inside a
// point name's text is noted where it stands, and a category element that is
// an item of an earlier category has the value added to it as one more item.
class TagListScan : public xml::ContentHandler {
 public:
  explicit TagListScan(std::array<CategoryList, kCategoryCount>& categories)
      : categories_(categories) {}

  void StartElement(std::string_view name) override {
    const int item_category = ChildStarts(true);
    Open open;
    if (item_category >= 0) {
      open.item_category = item_category;
      open.item = categories_[item_category].items.size() - 1;
    }
    for (int c = 0; c < kCategoryCount && found_ < kCategoryCount; ++c) {
      CategoryList& category = categories_[c];
      if (category.found || name != kCategories[c].name) continue;
      category.found = true;
      ++found_;
      open.category = c;
      if (item_category >= 0) {
        category.item_of = item_category;
        category.item_of_item = open.item;
      }
      break;
    }
    open_.push_back(open);
    // The second child of an item: its text content is the point name.
    if (pending_name_) {
      pending_name_ = false;
      // Collections are kept for reuse, so that reading a name allocates
      // nothing once the first few have been read.
      if (active_ == collections_.size()) collections_.emplace_back();
      Collection& collection = collections_[active_++];
      collection.depth = open_.size();
      collection.category = name_category_;
      collection.item = name_item_;
      collection.text.clear();
      collection.values.clear();
    }
  }

  void EndElement(std::size_t place) override {
    const Open open = open_.back();
    if (open.item_category >= 0) {
      categories_[open.item_category].items[open.item].place = place;
      // The value added to this item, for the point names being read whose
      // category comes later.
      for (std::size_t a = 0; a < active_; ++a) {
        Collection& collection = collections_[a];
        if (collection.category > open.item_category) {
          collection.values.push_back(ValueInName{
              collection.text.size(), open.item_category, open.item});
        }
      }
    }
    if (active_ > 0 && collections_[active_ - 1].depth == open_.size()) {
      const Collection& collection = collections_[--active_];
      StoreName(collection.category, collection.item, collection.text,
                collection.values);
    }
    open_.pop_back();
  }

  void Leaf(xml::NodeKind kind, std::string_view text) override {
    if (open_.empty()) return;  // outside the root element
    ChildStarts(false);
    if (pending_name_) {
      pending_name_ = false;
      StoreName(name_category_, name_item_, text, {});
    }
    if (kind == xml::NodeKind::kText || kind == xml::NodeKind::kCData) {
      for (std::size_t a = 0; a < active_; ++a) {
        collections_[a].text.append(text);
      }
    }
  }

 private:
  struct Open {
    int category = -1;       // the category whose element this is
    int item_category = -1;  // the category of which this is an item
    std::size_t item = 0;
  };
  // A point name being read: the text beneath the element at `depth`.
  struct Collection {
    std::size_t depth = 0;
    int category = 0;
    std::size_t item = 0;
    std::string text;
    std::vector<ValueInName> values;
  };

  // Counts a new child node of the open element: an item when that is a
  // category element, whose category it returns (-1 otherwise).
  int ChildStarts(bool is_element) {
    if (open_.empty()) return -1;
    const Open& parent = open_.back();
    if (parent.item_category >= 0) {
      Item& item = categories_[parent.item_category].items[parent.item];
      if (++item.children == 2) {
        pending_name_ = true;
        name_category_ = parent.item_category;
        name_item_ = parent.item;
      }
    }
    if (parent.category < 0) return -1;
    categories_[parent.category].items.emplace_back();
    return is_element ? parent.category : -1;
  }

  void StoreName(int category_index, std::size_t item_index,
                 std::string_view text,
                 const std::vector<ValueInName>& values) {
    CategoryList& category = categories_[category_index];
    Item& item = category.items[item_index];
    item.name_begin = category.names.size();
    item.name_size = text.size();
    category.names.append(text);
    item.first_value = category.values_in_names.size();
    item.value_count = values.size();
    category.values_in_names.insert(category.values_in_names.end(),
                                    values.begin(), values.end());
  }

  std::array<CategoryList, kCategoryCount>& categories_;
  std::vector<Open> open_;
  std::vector<Collection> collections_;  // the first `active_` are read
  std::size_t active_ = 0;
  int found_ = 0;  // categories whose element was found
  // The next child node is the second of item `name_item_` of category
  // `name_category_`.
  bool pending_name_ = false;
  int name_category_ = 0;
  std::size_t name_item_ = 0;
};

// The point name of `item`, with the added values in it.
void PointName(const std::array<CategoryList, kCategoryCount>& categories,
               const CategoryList& category, const Item& item,
               std::string& name) {
  const std::string_view text =
      std::string_view(category.names).substr(item.name_begin, item.name_size);
  if (item.value_count == 0) {
    name.assign(text);
    return;
  }
  name.clear();
  std::size_t done = 0;
  for (std::size_t v = 0; v < item.value_count; ++v) {
    const ValueInName& value = category.values_in_names[item.first_value + v];
    name.append(text.substr(done, value.at - done));
    name.append(categories[value.category].values[value.item]);
    done = value.at;
  }
  name.append(text.substr(done));
}

// The items of category `c` to be read, checked against what the index
// can count; fails when the category element was not found.
std::size_t ItemCount(
    const std::array<CategoryList, kCategoryCount>& categories, int c,
    const std::string& input_file) {
  const std::string_view name = kCategories[c].name;
  const CategoryList& list = categories[c];
  if (!list.found) {
    throw Error(errnum::kObjectNotSet, "The element <" + std::string(name) +
                                           "> was not found in " + input_file);
  }
  // A category element that is an item of an earlier category has the
  // value added to it as its last item.
  const bool value_item = list.item_of >= 0 && list.item_of < c;
  const std::size_t count = list.items.size() + (value_item ? 1 : 0);
  if (count > 0 && count - 1 > static_cast<std::size_t>(kLastIndex)) {
    throw Error(errnum::kOverflow, "Overflow: " + Where(name, input_file) +
                                       " holds " + std::to_string(count) +
                                       " items; a category holds at most " +
                                       std::to_string(kLastIndex) + " items");
  }
  return count;
}

// The child nodes of item `index` of `list`. The item after its own items is
// the value element added to the category element: its only child node, if
// any, is the value's text.
std::size_t ChildNodes(
    const std::array<CategoryList, kCategoryCount>& categories,
    const CategoryList& list, std::size_t index) {
  if (index < list.items.size()) return list.items[index].children;
  return categories[list.item_of].values[list.item_of_item].empty() ? 0 : 1;
}

// Asks the historian for the value of every item of category `c`, in
// document order, and keeps them in its list as XML text. Returns whether all
// of them are ASCII.
bool ReadCategoryValues(ReportServices& services,
                        std::array<CategoryList, kCategoryCount>& categories,
                        int c, const std::string& input_file) {
  const Category& category = kCategories[c];
  CategoryList& list = categories[c];
  const std::size_t count = ItemCount(categories, c, input_file);
  if (count == 0) return true;
  list.values.resize(list.items.size());

  bool values_ascii = true;
  std::string point_name;
  for (int16_t i = 0;; ++i) {
    const auto index = static_cast<std::size_t>(i);
    const std::size_t children = ChildNodes(categories, list, index);
    if (children < 2) {
      // Always so for the added value element, which has no second child to
      // name a point: a category element that is an item of an earlier
      // category ends in this error once its own items have been read.
      throw Error(errnum::kObjectNotSet,
                  "Item " + std::to_string(i + 1) + " of " +
                      Where(category.name, input_file) + " has " +
                      std::to_string(children) +
                      " child node(s); the point name is its second");
    }
    PointName(categories, list, list.items[index], point_name);
    std::string value =
        xml::ToXmlText((services.readers.*category.reader)(0, point_name));
    values_ascii = values_ascii && IsAscii(value);
    list.values[index] = std::move(value);
    ++services.values_written;
    services.Advance();

    if (i == kLastIndex) {
      // Only reached with exactly one item more than the index can count:
      // every item has been read, and the index cannot step on past it.
      throw Error(errnum::kOverflow, "Overflow after item " +
                                         std::to_string(i + 1) + " of " +
                                         Where(category.name, input_file) +
                                         ": a category holds at most " +
                                         std::to_string(kLastIndex) + " items");
    }
    if (index + 1 == count) break;
  }
  return values_ascii;
}

// The values in the order of their places: each category's items are in
// document order, so the four lists are merged.
std::vector<xml::StreamedDocument::Addition> ValuesInPlaceOrder(
    const std::array<CategoryList, kCategoryCount>& categories) {
  std::vector<xml::StreamedDocument::Addition> additions;
  std::array<std::size_t, kCategoryCount> next{};
  for (;;) {
    int first = -1;
    for (int c = 0; c < kCategoryCount; ++c) {
      const CategoryList& list = categories[c];
      if (next[c] < list.values.size() &&
          (first < 0 || list.items[next[c]].place <
                            categories[first].items[next[first]].place)) {
        first = c;
      }
    }
    if (first < 0) break;
    const std::size_t i = next[first]++;
    additions.push_back(xml::StreamedDocument::Addition{
        categories[first].items[i].place, &categories[first].values[i]});
  }
  return additions;
}

}  // namespace

void MakeCategoryReport(ReportServices& services, const std::string& input_file,
                        const std::string& output_path) {
  const xml::ElementName value_element("Value");
  // The tag list is kept as its text and read through twice, once for the
  // items and once to write the report, so that a large list never stands
  // in memory as a tree.
  xml::StreamedDocument document(SystemTextDecoder());
  std::array<CategoryList, kCategoryCount> categories;
  {
    TagListScan scan(categories);
    // A file that cannot be opened or loaded fails the run with the reason
    // it was not read.
    if (!document.Read(*OpenInputFile(input_file), scan)) {
      throw Error(errnum::kObjectNotSet, document.load_error());
    }
  }

  bool values_ascii = true;
  for (int c = 0; c < kCategoryCount; ++c) {
    // The call comes first: every category is read, whatever the earlier held.
    values_ascii =
        ReadCategoryValues(services, categories, c, input_file) && values_ascii;
  }

  const std::vector<xml::StreamedDocument::Addition> additions =
      ValuesInPlaceOrder(categories);
  const std::string encoding_name = services.code_page.XmlEncodingName();
  services.writer.ReplaceWith(output_path, [&](ReportSink& sink) {
    CodePageSink text(services.code_page, sink);
    document.Save(encoding_name, text, value_element, additions, values_ascii);
    text.Finish();
    sink.Write("\r\n");
  });
}

}  // namespace tavrolin
