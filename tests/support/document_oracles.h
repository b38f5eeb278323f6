// What tests and fuzzers do with documents beyond what the service does:
// keep a saved document in memory, and add a text element to a tree, the
// way the template report adds its records, checked by reading it back
// through the tree. A tree built so is saved by the tree's own serialiser,
// so that comparing it with the one-pass stream compares two independent
// writers of the same document. Header only: the fuzzers use it without the
// test library.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "document/document.h"

namespace tavrolin::testing {

class CollectedText : public xml::TextSink {
 public:
  void Write(std::string_view text) override { text_.append(text); }
  std::string text_;
};

// The whole document as Document::Save writes it for `encoding_name`.
inline std::string SavedText(xml::Document& document,
                             std::string_view encoding_name) {
  CollectedText out;
  document.Save(encoding_name, out);
  return std::move(out.text_);
}

// Appends an element `name` with `text` as its only content to `parent`.
// Throws std::logic_error unless the tree then holds it as `parent`'s last
// child, with the text as ToXmlText makes it and nothing else.
inline void AppendTextElement(xml::Node parent, const xml::ElementName& name,
                              std::string_view text) {
  xml::ElementStream element;
  element.AddTextElement(name, text);
  parent.AppendElements(element);
  const xml::Node added = parent.ChildAt(parent.ChildCount() - 1);
  if (!added.IsElement() || added.Name() != name.text() ||
      added.ChildCount() != (text.empty() ? 0 : 1) ||
      added.Text() != xml::ToXmlText(text)) {
    throw std::logic_error("The tree does not hold the element <" +
                           std::string(name.text()) + "> as it was added");
  }
}

}  // namespace tavrolin::testing
