// The smallest list of CIDR blocks that covers a set of address ranges.
#pragma once

#include <string>
#include <vector>

#include "text/address.h"

namespace cli {

struct Block {
    ip::Address first;
    int length = 0;  // prefix length in bits of the family
};

// `ranges` as (first, last) pairs of one family each, in any order, overlapping or not.
// Ranges that overlap or touch are joined first; the blocks come IPv4 first, each family
// in address order.
std::vector<Block> coverWithBlocks(std::vector<std::pair<ip::Address, ip::Address>> ranges);

// "1.0.1.0/24", "2001:db8::/32".
std::string formatBlock(const Block& block);

}  // namespace cli
