// A small pull reader for the XML of .xlsx parts. It knows what those parts use (elements,
// attributes, text, CDATA, comments, processing instructions, the five predefined
// entities and character references) and refuses the rest: a DTD, any other entity, a tag
// that does not close, an end tag that does not match, nesting past kMaxDepth. It never
// allocates from the document but the texts it is asked to decode.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace workbook::xml {

enum class Token { Start, End, Text, Done, Error };

inline constexpr std::size_t kMaxDepth = 256;

class Reader {
  public:
    explicit Reader(std::string_view document);

    // The next token. An empty element gives a Start and then an End. After Done or Error
    // every call gives the same again.
    Token next();

    // For Start and End: the element's name without its namespace prefix.
    std::string_view name() const { return name_; }
    std::size_t depth() const { return stack_.size(); }
    // For Start: the value of the attribute whose name without prefix is `local`
    // (case-sensitive), decoded; false when there is none or it does not decode.
    bool attribute(std::string_view local, std::string& value) const;
    // For Start: whether the attribute's name carries a prefix (r:id against Id).
    bool attribute(std::string_view local, bool prefixed, std::string& value) const;
    // For Text: the text decoded, appended to `out`; false on an entity we refuse.
    bool appendText(std::string& out) const;
    // Skips to the End of the element whose Start was just read.
    bool skipElement();

  private:
    Token fail();
    Token startTag();

    std::string_view doc_;
    std::size_t at_ = 0;
    std::string_view name_;
    std::string_view text_;
    bool cdata_ = false;
    bool closePending_ = false;  // an empty element's End is still to come
    bool failed_ = false;
    std::vector<std::string_view> stack_;
    std::vector<std::pair<std::string_view, std::string_view>> attributes_;
};

// Decodes entity and character references in `raw`, and ends lines as XML does (CR LF and
// a lone CR become LF). False on an entity other than the five, or a reference to a
// character XML cannot hold.
bool decode(std::string_view raw, std::string& out);

}  // namespace workbook::xml
