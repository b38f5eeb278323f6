#include "document/serialise.h"

#include "document/text.h"

namespace tavrolin::xml {

void CarriageReturnSink::Write(std::string_view text) {
  for (std::size_t at = text.find('\r'); at != std::string_view::npos;
       at = text.find('\r')) {
    out_.Write(text.substr(0, at));
    out_.Write("&#13;");
    text.remove_prefix(at + 1);
  }
  out_.Write(text);
}

void Print(pugi::xml_node node, pugi::xml_writer& writer) {
  // No indentation, no declaration made up.
  node.print(writer, "", pugi::format_raw | pugi::format_no_declaration,
             pugi::encoding_utf8);
}

namespace {

// Collects pugixml's output in a text.
class StringWriter : public pugi::xml_writer {
 public:
  explicit StringWriter(std::string& text) : text_(text) {}
  void write(const void* data, std::size_t size) override {
    text_.append(static_cast<const char*>(data), size);
  }

 private:
  std::string& text_;
};

}  // namespace

std::string_view StartTagPrinter::Print(pugi::xml_node element) {
  pugi::xml_node copy = scratch_.append_child(element.name());
  for (pugi::xml_attribute attribute : element.attributes()) {
    copy.append_copy(attribute);
  }
  return PrintScratch(copy);
}

std::string_view StartTagPrinter::Print(const char* name,
                                        const char** attributes) {
  pugi::xml_node copy = scratch_.append_child(name);
  for (; attributes[0]; attributes += 2) {
    copy.append_attribute(attributes[0]).set_value(attributes[1]);
  }
  return PrintScratch(copy);
}

std::string_view StartTagPrinter::PrintScratch(pugi::xml_node element) {
  element.append_child(pugi::node_pcdata);  // content: no empty-element tag
  text_.clear();
  StringWriter writer(text_);
  xml::Print(element, writer);
  scratch_.remove_child(element);
  // The element prints as start tag and end tag: drop "></name>".
  return std::string_view(text_).substr(
      0, text_.size() - (std::string_view(element.name()).size() + 4));
}

void WriteDeclaration(const std::optional<DeclarationFields>& fields,
                      std::string_view encoding_name, bool beyond_ascii,
                      TextSink& out) {
  const bool utf8 = encoding_name.empty() || IsUtf8Name(encoding_name);
  const bool name_encoding =
      !utf8 && !(fields && fields->encoding) && beyond_ascii;
  if (!fields && !name_encoding) return;
  std::string text = "<?xml";
  const auto attribute = [&text](std::string_view name,
                                 std::string_view value) {
    text.append(" ").append(name).append("=\"").append(value).append("\"");
  };
  std::string_view version =
      fields ? std::string_view(fields->version) : std::string_view();
  if (version.empty() && name_encoding) version = "1.0";
  if (!version.empty()) attribute("version", version);
  if (fields && fields->encoding) {
    attribute("encoding",
              encoding_name.empty() ? *fields->encoding : encoding_name);
  } else if (name_encoding) {
    attribute("encoding", encoding_name);
  }
  if (fields && fields->standalone >= 0) {
    attribute("standalone", fields->standalone ? "yes" : "no");
  }
  text += "?>";
  out.Write(text);
}

}  // namespace tavrolin::xml
