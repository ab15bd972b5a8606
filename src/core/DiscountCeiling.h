#pragma once
// The salesperson's discount ceiling, as the approval measures it and the server enforces it.

#include <optional>
#include <span>

// One item of the quote as the ceiling sees it.
struct TDiscountedItem {
    double quantity = 0, unitPrice = 0, addition = 0;
    std::optional<double> discount;   // none when the item has no discount recorded
};

// Whether a discount is above `ceiling` (a percentage): the first item whose own discount is
// more than the ceiling of its line (quantity × unit price + addition, rounded to cents), else
// the quote's discount against the gross total of every item given. Percentages are compared as
// written: 100.00 of 1,000.00 is exactly 10% and within a ceiling of 10.
bool DiscountAboveCeiling(std::span<const TDiscountedItem> items, double quoteDiscount, double ceiling);
