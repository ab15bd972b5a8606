#pragma once
// Filter expressions of a dataset: comparisons of a field with a literal, joined by AND and
// OR, with NOT and parentheses:   CDFILIAL = '0001' AND NRORCAEVENTO = 'O''Brien'
// A quote inside a string literal is written doubled.

#include "DataPacket.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

class TClientDataSet;
class TField;

struct FilterNode {
    enum Kind { And, Or, Not, Compare } kind = Compare;
    enum Op { Eq, Ne, Lt, Gt, Le, Ge } op = Eq;
    const TField* field = nullptr;
    bool literalIsNumber = false;
    QString text;
    double number = 0;
    std::vector<std::unique_ptr<FilterNode>> children;
};

// Throws EDataSetError naming the problem and its position.
std::unique_ptr<FilterNode> ParseFilter(const QString& expression, const TClientDataSet& dataSet);
bool EvalFilter(const FilterNode& node, const CellRow& values);
