// The salesperson's discount ceiling, the one measure that the approval asks about and the
// server enforces.
#include "DiscountCeiling.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Case {
    const char* what;
    std::vector<TDiscountedItem> items;
    double quoteDiscount, ceiling;
    bool above;
};

TEST(DiscountCeiling, ItemsFirstThenTheQuoteAgainstTheGrossTotal)
{
    const TDiscountedItem thousand{1, 1000, 0, std::nullopt};
    const Case cases[] = {
        {"a tenth of 1000.00 is within 10%", {thousand}, 100.00, 10, false},
        {"a cent more is above it", {thousand}, 100.01, 10, true},
        {"no discount at all", {thousand}, 0, 0, false},
        {"the addition is part of the gross total", {{1, 900, 100, std::nullopt}}, 100.00, 10, false},
        {"quantities multiply the price", {{4, 250, 0, std::nullopt}}, 100.01, 10, true},
        {"an item's own discount at its ceiling", {{2, 50, 0, 10.0}}, 0, 10, false},
        {"an item's own discount above it", {{2, 50, 0, 10.01}}, 0, 10, true},
        {"one item above is enough, whatever the quote's discount", {thousand, {1, 100, 0, 50.0}}, 0, 10, true},
        {"a zero discount on an item is no discount", {{1, 10, 0, 0.0}}, 0, 0, false},
        {"an item worth nothing is not measured on its own", {{1, 0, 0, 5.0}, thousand}, 0, 10, false},
        {"without items the discount is measured against 1", {}, 0.10, 10, false},
        {"and above it from a cent on", {}, 0.11, 10, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DiscountAboveCeiling(c.items, c.quoteDiscount, c.ceiling), c.above) << c.what;
}

} // namespace
