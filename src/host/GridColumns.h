#pragma once
// Column widths of the lists and grids: each column as wide as its title (with room for the
// sort mark) and its widest value, fixed once when the rows are loaded, so that nothing is
// cut and the widths stay put while a search or a filter changes the rows shown.

class QTableView;

// Fits the columns of `view` to its title and to the values of the first `rows` rows of its
// model. Returns the width the columns take together.
int FitColumnsToContents(QTableView* view, int rows = 5000);
