// The little JSON the ipdb metadata needs: one value read into a tree, nothing more.
// Bounded: nesting deeper than kMaxDepth is refused, and the input is its only memory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ipdata::json {

inline constexpr int kMaxDepth = 32;

struct Member;

struct Value {
    enum class Kind { Null, Boolean, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    // A number written as a plain non-negative integer that fits; nullopt for others.
    std::optional<std::uint64_t> integer;
    std::string text;  // a string's UTF-8
    std::vector<Value> items;
    std::vector<Member> members;  // in file order

    // The first member of that name, or null.
    const Value* member(std::string_view name) const;
};

struct Member {
    std::string name;
    Value value;
};

// One JSON value with white space around it; nullopt for anything else.
std::optional<Value> parse(std::string_view text);

}  // namespace ipdata::json
