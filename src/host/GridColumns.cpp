#include "GridColumns.h"

#include <QHeaderView>
#include <QStyle>
#include <QTableView>

int FitColumnsToContents(QTableView* view, int rows)
{
    const QAbstractItemModel* model = view->model();
    if (!model)
        return 0;
    QHeaderView* header = view->horizontalHeader();
    const QFontMetrics metrics(view->font());
    QStyle* style = view->style();
    // What a cell draws besides its text: the focus frame's margins and the grid line.
    const int padding = 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1) + 6;
    const int tick = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, view) + 2 * style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, view);
    const int shown = std::min(rows, model->rowCount());
    int total = 0;
    for (int column = 0; column < model->columnCount(); ++column) {
        int width = header->sectionSizeHint(column);   // the title, and the sort mark when the header shows one
        for (int row = 0; row < shown; ++row) {
            const QModelIndex index = model->index(row, column);
            int cell = metrics.horizontalAdvance(model->data(index, Qt::DisplayRole).toString()) + padding;
            if (model->flags(index) & Qt::ItemIsUserCheckable)
                cell += tick;
            width = std::max(width, cell);
        }
        view->setColumnWidth(column, width);
        total += width;
    }
    return total;
}
