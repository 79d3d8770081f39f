#include "app/cli/query.h"

#include <algorithm>
#include <array>

#include "table/operators.h"

namespace cli {
namespace {

constexpr std::array<std::pair<std::string_view, Field>, 4> kQueryFields = {{
    {"country", Field::Country},
    {"region", Field::Region},
    {"city", Field::City},
    {"operator", Field::Operator},
}};

// Latin letters in lower case; every other byte (UTF-8 characters' included) as it is.
std::string folded(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// What a field's value is compared by.
std::string fieldKey(Field field, std::string_view value) {
    if (field == Field::Operator) return folded(table::operatorGroup(value));
    return folded(ipdata::withoutAdminSuffix(value));
}

// The fields a user reads (the country code left out), as the window's search joins them.
std::string searchText(const ipdata::FieldViews& record) {
    std::string text;
    for (std::size_t f = 0; f < static_cast<std::size_t>(Field::CountryCode); ++f) {
        if (record[f].empty()) continue;
        if (!text.empty()) text += ' ';
        text += record[f];
    }
    return folded(text);
}

}  // namespace

std::optional<Field> queryField(std::string_view name) {
    for (const auto& [key, field] : kQueryFields)
        if (key == name) return field;
    return std::nullopt;
}

void addOperand(RangeQuery& query, const std::string& operand) {
    const std::size_t colon = operand.find(':');
    if (colon != std::string::npos && colon + 1 < operand.size()) {
        if (const auto field = queryField(std::string_view(operand).substr(0, colon))) {
            query.fields.emplace_back(*field, operand.substr(colon + 1));
            return;
        }
    }
    query.keywords.push_back(operand);
}

bool matches(const RangeQuery& query, const ipdata::FieldViews& record) {
    if (!query.keywords.empty()) {
        const std::string text = searchText(record);
        for (const std::string& keyword : query.keywords) {
            const std::string k = folded(keyword),
                              stem = folded(ipdata::withoutAdminSuffix(keyword));
            if (text.find(k) == std::string::npos && text.find(stem) == std::string::npos)
                return false;
        }
    }
    for (const auto& [_, field] : kQueryFields) {
        bool asked = false, found = false;
        for (const auto& [f, value] : query.fields) {
            if (f != field) continue;
            asked = true;
            found = found || fieldKey(field, record[static_cast<std::size_t>(field)]) ==
                                 fieldKey(field, value);
        }
        if (asked && !found) return false;
    }
    return true;
}

}  // namespace cli
