#include "app/cli/pick.h"

#include "ipdata/special.h"

namespace cli {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A JSON text read from `at`, never past its end: what a line of JSON needs, no more.
struct JsonReader {
    std::string_view text;
    std::size_t at = 0;

    bool is(char c) const { return at < text.size() && text[at] == c; }
    void skipSpace() {
        while (at < text.size() && (isBlank(text[at]) || text[at] == '\r' || text[at] == '\n'))
            ++at;
    }
    // The string at `at` (its opening quote) into `out` (when not null), unescaped; false
    // when it is none or not closed.
    bool string(std::string* out) {
        if (!is('"')) return false;
        ++at;
        while (at < text.size()) {
            char c = text[at++];
            if (c == '"') return true;
            if (c == '\\') {
                if (at == text.size()) return false;
                c = text[at++];
                if (c == 'u') {
                    int value = 0;
                    for (int i = 0; i < 4; ++i, ++at) {
                        const int digit = at < text.size() ? hexValue(text[at]) : -1;
                        if (digit < 0) return false;
                        value = value << 4 | digit;
                    }
                    c = value < 0x80 ? static_cast<char>(value) : ' ';
                } else if (c == 'n' || c == 'r' || c == 't' || c == 'b' || c == 'f') {
                    c = ' ';  // a control character: a boundary, as a space is
                }
            }
            if (out) *out += c;
        }
        return false;
    }
    // Any value at `at`.
    bool skipValue() {
        if (is('"')) return string(nullptr);
        if (is('{') || is('[')) {
            std::size_t depth = 0;
            while (at < text.size()) {
                const char c = text[at];
                if (c == '"') {
                    if (!string(nullptr)) return false;
                    continue;
                }
                ++at;
                if (c == '{' || c == '[') ++depth;
                if ((c == '}' || c == ']') && --depth == 0) return true;
            }
            return false;
        }
        const std::size_t from = at;
        while (at < text.size() && text[at] != ',' && text[at] != '}') ++at;
        return at > from;
    }
};

bool isPublic(const ip::Address& address) {
    const std::optional<ipdata::SpecialAddress> s = ipdata::special(address);
    return !s || s->globallyReachable;
}

}  // namespace

std::string_view columnOf(std::string_view line, std::size_t column, bool csv) {
    std::size_t i = 0;
    for (std::size_t c = 1;; ++c) {
        if (!csv) {
            while (i < line.size() && isBlank(line[i])) ++i;
            if (i == line.size()) return {};
        }
        const std::size_t start = i;
        if (csv && i < line.size() && line[i] == '"') {
            // A quoted field: its commas and doubled quotes are its own.
            for (++i; i < line.size(); ++i) {
                if (line[i] != '"') continue;
                if (i + 1 < line.size() && line[i + 1] == '"') {
                    ++i;
                    continue;
                }
                ++i;
                break;
            }
        }
        while (i < line.size() && (csv ? line[i] != ',' : !isBlank(line[i]))) ++i;
        if (c == column) return line.substr(start, i - start);
        if (i == line.size()) return {};
        if (csv) ++i;
    }
}

std::optional<std::string> jsonValue(std::string_view line, std::string_view key) {
    JsonReader json{line};
    json.skipSpace();
    if (!json.is('{')) return std::nullopt;
    ++json.at;
    while (true) {
        json.skipSpace();
        std::string name;
        if (!json.string(&name)) return std::nullopt;
        json.skipSpace();
        if (!json.is(':')) return std::nullopt;
        ++json.at;
        json.skipSpace();
        if (name == key) {
            std::string value;
            if (!json.string(&value)) return std::nullopt;
            return value;
        }
        if (!json.skipValue()) return std::nullopt;
        json.skipSpace();
        if (!json.is(',')) return std::nullopt;
        ++json.at;
    }
}

std::size_t w3cClientColumn(std::string_view line) {
    if (!line.starts_with(kW3cFields)) return 0;
    line.remove_prefix(kW3cFields.size());
    for (std::size_t c = 1;; ++c) {
        const std::string_view name = columnOf(line, c, false);
        if (name.empty()) return 0;
        if (name == "c-ip") return c;
    }
}

std::size_t w3cColumnAfter(std::string_view text, std::size_t before) {
    std::size_t column = before;
    for (std::size_t at = 0; (at = text.find(kW3cFields, at)) != std::string_view::npos; ++at) {
        if (at > 0 && text[at - 1] != '\n') continue;
        std::string_view line = text.substr(at, text.find('\n', at) - at);
        if (line.ends_with('\r')) line.remove_suffix(1);
        column = w3cClientColumn(line);
    }
    return column;
}

std::optional<ip::Address> AddressPicker::pick(std::string_view line, Encoding encoding,
                                               std::size_t& w3c) {
    std::string_view part = line;
    if (choice_.followsW3c()) {
        // A header that names c-ip, and every directive line after it, holds no address
        // that counts.
        if (line.starts_with(kW3cFields)) {
            const std::size_t column = w3cClientColumn(line);
            if (column != 0 || w3c != 0) {
                w3c = column;
                return std::nullopt;
            }
        } else if (w3c != 0 && line.starts_with('#')) {
            return std::nullopt;
        }
        if (w3c != 0) part = columnOf(line, w3c, false);
    } else if (choice_.column != 0) {
        part = columnOf(line, choice_.column, choice_.csv);
    } else {
        std::optional<std::string> value = jsonValue(line, choice_.jsonKey);
        if (!value) return std::nullopt;
        value_ = std::move(*value);
        part = value_;
    }
    std::optional<ip::Address> chosen;
    std::size_t seen = 0;
    ip::forEachAddressRun(scanText(part, encoding, scan_),
                          [&](std::size_t, std::span<const ip::Address> found) {
                              for (const ip::Address& a : found) {
                                  if (choice_.publicOnly && !isPublic(a)) continue;
                                  chosen = a;
                                  if (!choice_.last && ++seen == choice_.nth) return false;
                              }
                              return true;
                          });
    if (!choice_.last && seen != choice_.nth) return std::nullopt;
    return chosen;
}

}  // namespace cli
