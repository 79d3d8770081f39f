// The map of the window's list: its rows counted by place under the one place rule, each
// place coloured by the group the 统计 window groups by.
#pragma once

#include "map/map.h"
#include "table/summary.h"

namespace geo {

// The rows' places, their counts and groups; rows the rule cannot place are counted as
// without coordinates.
MapData listMap(const RowStore& rows, summary::GroupBy by);

}  // namespace geo
