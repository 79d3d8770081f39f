// The XML pull reader of xml.h.
#include "workbook/xml.h"

#include <cstring>

#include "text/codepage.h"

namespace workbook::xml {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Where the next "&" or CR is: find_first_of would search the set once per character.
std::size_t nextSpecial(std::string_view text, std::size_t from) {
    for (std::size_t i = from; i < text.size(); ++i)
        if (text[i] == '&' || text[i] == '\r') return i;
    return std::string_view::npos;
}

std::string_view localName(std::string_view name) {
    const std::size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// A character reference's body ("#65", "#x41"): the character, or 0 when it is none XML
// allows.
char32_t characterReference(std::string_view body) {
    if (body.size() < 2 || body.size() > 10) return 0;
    const bool hex = body[1] == 'x';
    std::size_t i = hex ? 2 : 1;
    if (i == body.size()) return 0;
    std::uint32_t value = 0;
    for (; i < body.size(); ++i) {
        const char c = body[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return 0;
        value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
        if (value > 0x10FFFF) return 0;
    }
    const bool allowed = value == 0x9 || value == 0xA || value == 0xD ||
                         (value >= 0x20 && value <= 0xD7FF) ||
                         (value >= 0xE000 && value <= 0xFFFD) || value >= 0x10000;
    return allowed ? value : 0;
}

}  // namespace

bool decode(std::string_view raw, std::string& out) {
    std::size_t i = 0;
    while (i < raw.size()) {
        const std::size_t special = nextSpecial(raw, i);
        if (special == std::string_view::npos) {
            out.append(raw.substr(i));
            break;
        }
        out.append(raw.substr(i, special - i));
        if (raw[special] == '\r') {
            out += '\n';
            i = special + 1;
            if (i < raw.size() && raw[i] == '\n') ++i;
            continue;
        }
        const std::size_t semicolon = raw.find(';', special);
        if (semicolon == std::string_view::npos || semicolon - special > 12) return false;
        const std::string_view body = raw.substr(special + 1, semicolon - special - 1);
        if (body == "lt") {
            out += '<';
        } else if (body == "gt") {
            out += '>';
        } else if (body == "amp") {
            out += '&';
        } else if (body == "quot") {
            out += '"';
        } else if (body == "apos") {
            out += '\'';
        } else if (!body.empty() && body[0] == '#') {
            const char32_t c = characterReference(body);
            if (c == 0) return false;
            codepage::appendUtf8(out, c);
        } else {
            return false;
        }
        i = semicolon + 1;
    }
    return true;
}

Reader::Reader(std::string_view document) : doc_(document) {
    // A UTF-8 byte-order mark is allowed before the declaration.
    if (const codepage::ByteOrderMark head = codepage::byteOrderMark(doc_);
        head.mark == codepage::Mark::Utf8)
        at_ = head.length;
}

Token Reader::fail() {
    failed_ = true;
    return Token::Error;
}

Token Reader::next() {
    if (failed_) return Token::Error;
    if (closePending_) {
        closePending_ = false;
        stack_.pop_back();
        return Token::End;
    }
    while (true) {
        if (at_ >= doc_.size()) return stack_.empty() ? Token::Done : fail();
        if (doc_[at_] != '<') {
            const std::size_t lt = doc_.find('<', at_);
            const std::size_t end = lt == std::string_view::npos ? doc_.size() : lt;
            text_ = doc_.substr(at_, end - at_);
            at_ = end;
            cdata_ = false;
            if (!stack_.empty()) return Token::Text;
            for (char c : text_)  // only white space stands outside the root element
                if (!isSpace(c)) return fail();
            continue;
        }
        const std::string_view rest = doc_.substr(at_);
        if (rest.substr(0, 2) == "<?") {
            const std::size_t end = rest.find("?>");
            if (end == std::string_view::npos) return fail();
            at_ += end + 2;
            continue;
        }
        if (rest.substr(0, 4) == "<!--") {
            const std::size_t end = rest.find("-->", 4);
            if (end == std::string_view::npos) return fail();
            at_ += end + 3;
            continue;
        }
        if (rest.substr(0, 9) == "<![CDATA[") {
            const std::size_t end = rest.find("]]>", 9);
            if (end == std::string_view::npos || stack_.empty()) return fail();
            text_ = rest.substr(9, end - 9);
            cdata_ = true;
            at_ += end + 3;
            return Token::Text;
        }
        if (rest.substr(0, 2) == "<!") return fail();  // a DTD and its entities: never
        if (rest.substr(0, 2) == "</") {
            const std::size_t end = rest.find('>');
            if (end == std::string_view::npos) return fail();
            std::string_view tag = rest.substr(2, end - 2);
            while (!tag.empty() && isSpace(tag.back())) tag.remove_suffix(1);
            if (stack_.empty() || stack_.back() != tag) return fail();
            name_ = localName(tag);
            stack_.pop_back();
            at_ += end + 1;
            return Token::End;
        }
        return startTag();
    }
}

Token Reader::startTag() {
    attributes_.clear();
    std::size_t i = at_ + 1;
    const std::size_t nameStart = i;
    while (i < doc_.size() && !isSpace(doc_[i]) && doc_[i] != '>' && doc_[i] != '/' &&
           doc_[i] != '<')
        ++i;
    if (i == nameStart || i >= doc_.size()) return fail();
    const std::string_view tag = doc_.substr(nameStart, i - nameStart);
    bool empty = false;
    while (true) {
        while (i < doc_.size() && isSpace(doc_[i])) ++i;
        if (i >= doc_.size()) return fail();
        if (doc_[i] == '>') {
            ++i;
            break;
        }
        if (doc_[i] == '/') {
            if (i + 1 >= doc_.size() || doc_[i + 1] != '>') return fail();
            i += 2;
            empty = true;
            break;
        }
        const std::size_t attrStart = i;
        while (i < doc_.size() && doc_[i] != '=' && !isSpace(doc_[i]) && doc_[i] != '>' &&
               doc_[i] != '/' && doc_[i] != '<')
            ++i;
        const std::string_view attr = doc_.substr(attrStart, i - attrStart);
        while (i < doc_.size() && isSpace(doc_[i])) ++i;
        if (attr.empty() || i >= doc_.size() || doc_[i] != '=') return fail();
        ++i;
        while (i < doc_.size() && isSpace(doc_[i])) ++i;
        if (i >= doc_.size() || (doc_[i] != '"' && doc_[i] != '\'')) return fail();
        const char quote = doc_[i++];
        const std::size_t close = doc_.find(quote, i);
        if (close == std::string_view::npos) return fail();
        const std::string_view value = doc_.substr(i, close - i);
        if (value.find('<') != std::string_view::npos) return fail();
        attributes_.emplace_back(attr, value);
        i = close + 1;
    }
    if (stack_.size() >= kMaxDepth) return fail();
    stack_.push_back(tag);
    name_ = localName(tag);
    at_ = i;
    closePending_ = empty;
    return Token::Start;
}

bool Reader::attribute(std::string_view local, std::string& value) const {
    for (const auto& [name, raw] : attributes_) {
        if (localName(name) != local) continue;
        value.clear();
        return decode(raw, value);
    }
    return false;
}

bool Reader::attribute(std::string_view local, bool prefixed, std::string& value) const {
    for (const auto& [name, raw] : attributes_) {
        if (localName(name) != local || (name.size() != local.size()) != prefixed) continue;
        value.clear();
        return decode(raw, value);
    }
    return false;
}

bool Reader::appendText(std::string& out) const {
    if (cdata_ || nextSpecial(text_, 0) == std::string_view::npos) {
        out.append(text_);
        return true;
    }
    return decode(text_, out);
}

bool Reader::skipElement() {
    const std::size_t depth = stack_.size();
    while (true) {
        const Token t = next();
        if (t == Token::Error || t == Token::Done) return false;
        if (t == Token::End && stack_.size() < depth) return true;
    }
}

}  // namespace workbook::xml
