#include "DataSetFilter.h"

#include "ClientDataSet.h"
#include "Errors.h"

namespace {

class Parser {
public:
    Parser(const QString& text, const TClientDataSet& ds) : s(text), dataSet(ds) {}

    std::unique_ptr<FilterNode> parse()
    {
        auto node = orExpr();
        skipBlanks();
        if (i < s.size())
            error(QStringLiteral("texto inesperado"));
        return node;
    }

private:
    const QString& s;
    const TClientDataSet& dataSet;
    qsizetype i = 0;

    [[noreturn]] void error(const QString& what) const
    {
        throw EDataSetError(QStringLiteral("Filtro inválido em %1 (posição %2: %3): \"%4\"")
                                .arg(dataSet.objectName())
                                .arg(i + 1)
                                .arg(what, s));
    }

    void skipBlanks()
    {
        while (i < s.size() && s[i].isSpace())
            ++i;
    }

    bool keyword(const char* word)
    {
        skipBlanks();
        const QLatin1String w(word);
        if (s.mid(i, w.size()).compare(w, Qt::CaseInsensitive) != 0)
            return false;
        const qsizetype end = i + w.size();
        if (end < s.size() && (s[end].isLetterOrNumber() || s[end] == QLatin1Char('_')))
            return false;
        i = end;
        return true;
    }

    std::unique_ptr<FilterNode> join(FilterNode::Kind kind, std::unique_ptr<FilterNode> left, std::unique_ptr<FilterNode> right)
    {
        auto node = std::make_unique<FilterNode>();
        node->kind = kind;
        node->children.push_back(std::move(left));
        node->children.push_back(std::move(right));
        return node;
    }

    std::unique_ptr<FilterNode> orExpr()
    {
        auto left = andExpr();
        while (keyword("OR"))
            left = join(FilterNode::Or, std::move(left), andExpr());
        return left;
    }

    std::unique_ptr<FilterNode> andExpr()
    {
        auto left = unary();
        while (keyword("AND"))
            left = join(FilterNode::And, std::move(left), unary());
        return left;
    }

    std::unique_ptr<FilterNode> unary()
    {
        if (keyword("NOT")) {
            auto node = std::make_unique<FilterNode>();
            node->kind = FilterNode::Not;
            node->children.push_back(unary());
            return node;
        }
        skipBlanks();
        if (i < s.size() && s[i] == QLatin1Char('(')) {
            ++i;
            auto node = orExpr();
            skipBlanks();
            if (i >= s.size() || s[i] != QLatin1Char(')'))
                error(QStringLiteral("falta \")\""));
            ++i;
            return node;
        }
        return comparison();
    }

    std::unique_ptr<FilterNode> comparison()
    {
        auto node = std::make_unique<FilterNode>();
        skipBlanks();
        const qsizetype start = i;
        while (i < s.size() && (s[i].isLetterOrNumber() || s[i] == QLatin1Char('_')))
            ++i;
        if (start == i)
            error(QStringLiteral("esperava o nome de um campo"));
        const QString name = s.mid(start, i - start);
        node->field = dataSet.FindField(name);
        if (!node->field)
            error(QStringLiteral("campo %1 desconhecido").arg(name));
        skipBlanks();
        static const std::pair<const char*, FilterNode::Op> ops[] = {
            {"<>", FilterNode::Ne}, {"<=", FilterNode::Le}, {">=", FilterNode::Ge},
            {"=", FilterNode::Eq},  {"<", FilterNode::Lt},  {">", FilterNode::Gt},
        };
        bool found = false;
        for (const auto& [text, op] : ops) {
            const QLatin1String t(text);
            if (s.mid(i, t.size()) == t) {
                node->op = op;
                i += t.size();
                found = true;
                break;
            }
        }
        if (!found)
            error(QStringLiteral("esperava um operador (=, <>, <, >, <=, >=)"));
        literal(*node);
        return node;
    }

    void literal(FilterNode& node)
    {
        skipBlanks();
        if (i < s.size() && s[i] == QLatin1Char('\'')) {
            ++i;
            QString text;
            for (;;) {
                if (i >= s.size())
                    error(QStringLiteral("texto sem aspa de fechamento"));
                if (s[i] == QLatin1Char('\'')) {
                    if (i + 1 < s.size() && s[i + 1] == QLatin1Char('\'')) {
                        text += QLatin1Char('\'');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += s[i++];
            }
            node.text = text;
            return;
        }
        const qsizetype start = i;
        while (i < s.size() && (s[i].isDigit() || s[i] == QLatin1Char('.') || s[i] == QLatin1Char('-')))
            ++i;
        bool ok = false;
        node.number = s.mid(start, i - start).toDouble(&ok);
        if (!ok)
            error(QStringLiteral("esperava um valor entre aspas ou um número"));
        node.literalIsNumber = true;
        node.text = s.mid(start, i - start);
    }
};

template <class T>
bool compare(FilterNode::Op op, const T& a, const T& b)
{
    switch (op) {
    case FilterNode::Eq: return a == b;
    case FilterNode::Ne: return !(a == b);
    case FilterNode::Lt: return a < b;
    case FilterNode::Gt: return b < a;
    case FilterNode::Le: return !(b < a);
    case FilterNode::Ge: return !(a < b);
    }
    return false;
}

bool isNumeric(TFieldType t) { return t == TFieldType::Integer || t == TFieldType::Float; }

} // namespace

std::unique_ptr<FilterNode> ParseFilter(const QString& expression, const TClientDataSet& dataSet)
{
    return Parser(expression, dataSet).parse();
}

bool EvalFilter(const FilterNode& node, const CellRow& values)
{
    switch (node.kind) {
    case FilterNode::And: return EvalFilter(*node.children[0], values) && EvalFilter(*node.children[1], values);
    case FilterNode::Or: return EvalFilter(*node.children[0], values) || EvalFilter(*node.children[1], values);
    case FilterNode::Not: return !EvalFilter(*node.children[0], values);
    case FilterNode::Compare: break;
    }
    const Cell& cell = values[size_t(node.field->Index())];
    if (CellIsNull(cell))
        return node.op == FilterNode::Ne ? !node.text.isEmpty() : (node.op == FilterNode::Eq && node.text.isEmpty());
    if (isNumeric(node.field->DataType()) && node.literalIsNumber) {
        const double v = std::holds_alternative<double>(cell) ? std::get<double>(cell) : double(std::get<qint64>(cell));
        return compare(node.op, v, node.number);
    }
    return compare(node.op, node.field->CellText(cell), node.text);
}
