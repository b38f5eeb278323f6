// A document read through once and saved from its serialised text gives the
// same bytes as the same document loaded as a tree and saved, with elements
// appended or without, in UTF-8 and in another encoding; and it fails to
// read exactly where the tree fails to load.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/ascii.h"
#include "document/document.h"
#include "tests/support/document_oracles.h"
#include "tests/support/temp_dir.h"

namespace tavrolin::xml {
namespace {

using testing::CollectedText;
using testing::TempDir;

// Notes the place of every element that has children, in the order the
// elements end.
class Places : public ContentHandler {
 public:
  void StartElement(std::string_view) override { children_.push_back(0); }
  void EndElement(std::size_t place) override {
    if (children_.back() > 0) places_.push_back(place);
    children_.pop_back();
    if (!children_.empty()) ++children_.back();
  }
  void Leaf(NodeKind, std::string_view) override {
    if (!children_.empty()) ++children_.back();
  }
  std::vector<std::size_t> places_;

 private:
  std::vector<int> children_;
};

// Every element with children of `node`'s subtree, in the order they end.
void ElementsWithChildren(const Node& node, std::vector<Node>& out) {
  for (Node child = node.ChildAt(0); child; child = child.NextSibling()) {
    if (child.IsElement()) ElementsWithChildren(child, out);
  }
  if (node.IsElement() && node.ChildCount() > 0) out.push_back(node);
}

const char* const kDocuments[] = {
    "<r/>",
    "<?xml version=\"1.0\"?>\n<r>\n  <a>x</a>\n  <b/>\n</r>\n",
    "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?><r>t</r>",
    "<!-- c --><?pi data?><!DOCTYPE r [\n<!ENTITY e \"&#233;&amp;\">\n"
    "<!ATTLIST r d CDATA \"def&lt;\">\n]><r a=\"1&quot;&#9;&#13;\">&e;"
    "<![CDATA[ ]]>]]&gt;<![CDATA[a]]]]><![CDATA[>b]]></r><!-- after -->",
    "<r xmlns:p=\"u\"><p:q p:a='&apos;\"'>&lt;&gt;&amp;&#13;\r\n</p:q></r>",
    "<r>caf\xc3\xa9<\xc3\xa9l att=\"\xe2\x82\xac\"/></r>",
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xe9<n>\xb5</n></r>",
    "\xef\xbb\xbf<r><a><b><c>deep</c></b></a></r>",
    "<r><a>1</a><a/><a><!--only--></a><a><?p?></a></r>",
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<r>\r\n  <!-- list -->\r\n"
    "  <g>\r\n    <p id=\"1\">\r\n      <d>Feed flow</d>\r\n    </p>\r\n"
    "  </g>\r\n</r>\r\n",
};

class XmlStreamedDocumentTest : public ::testing::TestWithParam<const char*> {
 protected:
  TempDir folder_;
};

TEST_P(XmlStreamedDocumentTest, SavesAsTheTreeSaves) {
  folder_.Write("doc.xml", GetParam());
  const std::string path = folder_.File("doc.xml");
  for (const char* encoding : {"UTF-8", "windows-1252"}) {
    for (const char* added : {"", "plain", "<&>\xc3\xa9\x01"}) {
      SCOPED_TRACE(std::string(encoding) + " / " + added);
      Document tree{SystemTextDecoder()};
      ASSERT_TRUE(tree.Load(*OpenInputFile(path))) << tree.load_error();
      StreamedDocument streamed{SystemTextDecoder()};
      Places places;
      ASSERT_TRUE(streamed.Read(*OpenInputFile(path), places))
          << streamed.load_error();

      // Every element with children gets one added element, in the tree
      // and in the streamed document alike.
      const ElementName name("V");
      std::vector<Node> elements;
      ElementsWithChildren(tree.FirstElementByTagName("r"), elements);
      ASSERT_EQ(elements.size(), places.places_.size());
      const std::string text = ToXmlText(added);
      std::vector<StreamedDocument::Addition> additions;
      for (std::size_t i = 0; i < elements.size(); ++i) {
        testing::AppendTextElement(elements[i], name, added);
        additions.push_back({places.places_[i], &text});
      }
      std::sort(additions.begin(), additions.end(),
                [](const auto& a, const auto& b) { return a.place < b.place; });
      CollectedText out;
      streamed.Save(encoding, out, name, additions, IsAscii(text));
      EXPECT_EQ(out.text_, testing::SavedText(tree, encoding));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Documents, XmlStreamedDocumentTest,
                         ::testing::ValuesIn(kDocuments));

TEST(XmlStreamedDocumentFailureTest, FailsAsTheTreeFails) {
  TempDir folder;
  folder.Write("bad.xml", "<r>\n<a></b></r>");
  folder.Write("unknown.xml",
               "<?xml version=\"1.0\" encoding=\"x-no-such\"?><r/>");
  for (const std::string name : {"bad.xml", "unknown.xml"}) {
    Document tree{SystemTextDecoder()};
    StreamedDocument streamed{SystemTextDecoder()};
    Places places;
    EXPECT_FALSE(tree.Load(*OpenInputFile(folder.File(name))));
    EXPECT_FALSE(streamed.Read(*OpenInputFile(folder.File(name)), places));
    EXPECT_EQ(streamed.load_error(), tree.load_error());
  }
}

}  // namespace
}  // namespace tavrolin::xml
