#include "ipdata/json.h"

#include "text/codepage.h"

namespace ipdata::json {
namespace {

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::optional<Value> document() {
        Value value;
        if (!parseValue(value, 0)) return std::nullopt;
        skipSpace();
        if (at_ != text_.size()) return std::nullopt;
        return value;
    }

  private:
    void skipSpace() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                      text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }
    bool eat(char c) {
        skipSpace();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool word(std::string_view w) {
        if (text_.substr(at_, w.size()) != w) return false;
        at_ += w.size();
        return true;
    }

    bool parseValue(Value& value, int depth) {
        if (depth > kMaxDepth) return false;
        skipSpace();
        if (at_ >= text_.size()) return false;
        switch (text_[at_]) {
            case '{':
                return parseObject(value, depth);
            case '[':
                return parseArray(value, depth);
            case '"':
                value.kind = Value::Kind::String;
                return parseString(value.text);
            case 't':
                value.kind = Value::Kind::Boolean;
                value.boolean = true;
                return word("true");
            case 'f':
                value.kind = Value::Kind::Boolean;
                return word("false");
            case 'n':
                return word("null");
            default:
                return parseNumber(value);
        }
    }

    bool parseObject(Value& value, int depth) {
        value.kind = Value::Kind::Object;
        ++at_;
        if (eat('}')) return true;
        do {
            skipSpace();
            std::string name;
            if (at_ >= text_.size() || text_[at_] != '"' || !parseString(name) || !eat(':'))
                return false;
            Value member;
            if (!parseValue(member, depth + 1)) return false;
            value.members.push_back({std::move(name), std::move(member)});
        } while (eat(','));
        return eat('}');
    }

    bool parseArray(Value& value, int depth) {
        value.kind = Value::Kind::Array;
        ++at_;
        if (eat(']')) return true;
        do {
            Value item;
            if (!parseValue(item, depth + 1)) return false;
            value.items.push_back(std::move(item));
        } while (eat(','));
        return eat(']');
    }

    bool digits(std::size_t& count) {
        count = 0;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_, ++count;
        return count > 0;
    }

    bool parseNumber(Value& value) {
        value.kind = Value::Kind::Number;
        const std::size_t start = at_;
        const bool negative = text_[at_] == '-';
        if (negative) ++at_;
        std::size_t count = 0;
        if (!digits(count) || (count > 1 && text_[at_ - count] == '0')) return false;
        bool plain = !negative;
        if (at_ < text_.size() && text_[at_] == '.') {
            ++at_;
            if (!digits(count)) return false;
            plain = false;
        }
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
            if (!digits(count)) return false;
            plain = false;
        }
        if (!plain) return true;
        std::uint64_t n = 0;
        for (std::size_t i = start; i < at_; ++i) {
            const unsigned d = static_cast<unsigned>(text_[i] - '0');
            if (n > (UINT64_MAX - d) / 10) return true;  // too large: a number, no integer
            n = n * 10 + d;
        }
        value.integer = n;
        return true;
    }

    bool hex4(std::uint32_t& unit) {
        if (text_.size() - at_ < 4) return false;
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[at_++];
            unit <<= 4;
            if (c >= '0' && c <= '9')
                unit |= static_cast<std::uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                unit |= static_cast<std::uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                unit |= static_cast<std::uint32_t>(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    bool parseString(std::string& out) {
        ++at_;  // the opening quote
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size()) return false;
            const char e = text_[at_++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out += e;
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    std::uint32_t unit;
                    if (!hex4(unit)) return false;
                    if (unit >= 0xD800 && unit <= 0xDBFF && text_.substr(at_, 2) == "\\u") {
                        const std::size_t back = at_;
                        at_ += 2;
                        std::uint32_t low;
                        if (hex4(low) && low >= 0xDC00 && low <= 0xDFFF) {
                            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                        } else {
                            at_ = back;
                        }
                    }
                    if (unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD;  // unpaired
                    codepage::appendUtf8(out, unit);
                    break;
                }
                default:
                    return false;
            }
        }
        return false;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

const Value* Value::member(std::string_view name) const {
    for (const auto& [key, value] : members)
        if (key == name) return &value;
    return nullptr;
}

std::optional<Value> parse(std::string_view text) {
    return Parser(text).document();
}

}  // namespace ipdata::json
