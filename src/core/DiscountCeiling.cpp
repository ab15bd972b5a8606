#include "DiscountCeiling.h"

#include "TextRoutines.h"

#include <cmath>

bool DiscountAboveCeiling(std::span<const TDiscountedItem> items, double quoteDiscount, double ceiling)
{
    double grossTotal = 0;
    bool itemAboveCeiling = false;
    for (const TDiscountedItem& item : items) {
        const double lineTotal = RoundDec(item.quantity * item.unitPrice + item.addition, 2);
        grossTotal += lineTotal;
        if (!itemAboveCeiling && item.discount && *item.discount != 0 && lineTotal > 0)
            itemAboveCeiling = RoundDec(*item.discount * 100, 2) / lineTotal > ceiling;
    }
    if (itemAboveCeiling)
        return true;
    grossTotal = grossTotal == 0 ? 1 : std::abs(grossTotal);
    return RoundDec(quoteDiscount, 2) * 100 / RoundDec(grossTotal, 2) > RoundDec(ceiling, 2);
}
