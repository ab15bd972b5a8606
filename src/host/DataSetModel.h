#pragma once
// A Qt item model over a dataset, for lists and grids: one row per visible record, one column
// per visible field, headed by its display label, showing its display text (GetText events
// and display formats included). Optionally a first column of check boxes (tick lists).

#include <QAbstractTableModel>
#include <QPointer>
#include <QSet>

class TClientDataSet;
class TDataSource;
class TField;

class TDataSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TDataSetModel(TDataSource* source, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    TField* fieldAt(int column) const;

    // Tick column: the first column becomes checkable; ticks are kept per row.
    void setCheckable(bool checkable);
    QSet<int> checkedRows() const { return m_checked; }
    void setChecked(int row, bool checked);

private:
    void reset();
    QPointer<TDataSource> m_source;
    QList<TField*> m_columns;
    bool m_checkable = false;
    QSet<int> m_checked;
};
