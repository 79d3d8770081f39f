// What `ranges` looks for: keywords anywhere in a record, as the window's reverse search
// takes them, and keywords of one field, for lists that must hold nothing else (a firewall's).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ipdata/ipdata.h"
#include "table/fields.h"

namespace cli {

struct RangeQuery {
    // Each in the record's fields joined by spaces, as the window's search finds it; Latin
    // letters in either case.
    std::vector<std::string> keywords;
    // Each the whole value of its field (country, region, city or operator): a place by its
    // name with or without its administrative suffix, an operator by its one group name
    // (table/operators.h). Keywords of one field are alternatives; the rest must all hold.
    std::vector<std::pair<Field, std::string>> fields;

    bool empty() const { return keywords.empty() && fields.empty(); }
};

// The field a keyword option or prefix names ("region" for --region and "region:重庆");
// nullopt for any other name.
std::optional<Field> queryField(std::string_view name);
// An operand of `ranges`: "region:重庆" is a field keyword, anything else a plain one.
void addOperand(RangeQuery& query, const std::string& operand);
bool matches(const RangeQuery& query, const ipdata::FieldViews& record);

}  // namespace cli
