#include "QtServices.h"

#include "ClientDataSet.h"
#include "DataSetModel.h"
#include "Errors.h"
#include "EventGuard.h"
#include "GridColumns.h"
#include "Lib00700.h"
#include "ScreenLoader.h"
#include "Showavi.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

namespace {

QString dialogTitle(TMsgDlgType type)
{
    switch (type) {
    case mtWarning: return QStringLiteral("Atenção");
    case mtError: return QStringLiteral("Erro");
    case mtInformation: return QStringLiteral("Informação");
    case mtConfirmation: return QStringLiteral("Confirmação");
    case mtCustom: break;
    }
    return QApplication::applicationDisplayName();
}

// A list of the data source's records, with their visible fields, labels and formats.
class TRecordListDialog : public QDialog {
public:
    TRecordListDialog(TDataSource* source, const QString& title, const QString& emptyText, bool checkable)
        : QDialog(QApplication::activeWindow()), model(source, this)
    {
        setObjectName(checkable ? QStringLiteral("frmPesquisaLista") : QStringLiteral("frmPesquisar"));
        setWindowTitle(title);
        model.setCheckable(checkable);
        view = new QTableView(this);
        view->setObjectName(QStringLiteral("grdPesquisa"));
        view->setModel(&model);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->verticalHeader()->hide();
        view->horizontalHeader()->setStretchLastSection(true);
        const int columns = FitColumnsToContents(view);
        auto* empty = new QLabel(emptyText, this);
        empty->setObjectName(QStringLiteral("lblVazio"));
        empty->setVisible(model.rowCount() == 0);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
        buttons->button(QDialogButtonBox::Ok)->setEnabled(model.rowCount() > 0);
        buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        if (!checkable)
            connect(view, &QTableView::doubleClicked, this, &QDialog::accept);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(view);
        layout->addWidget(empty);
        layout->addWidget(buttons);
        // Wide enough for every column, as far as the screen allows.
        const int frame = 2 * view->frameWidth() + view->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + layout->contentsMargins().left()
                          + layout->contentsMargins().right();
        resize(std::clamp(columns + frame, 560, 1100), 360);
        if (model.rowCount() > 0)
            view->selectRow(std::max(0, source->DataSet()->CurrentRow()));
    }

    int currentRow() const { return view->currentIndex().isValid() ? view->currentIndex().row() : -1; }

    TDataSetModel model;
    QTableView* view;
};

TClientDataSet* requireDataSet(TDataSource* source, const char* what)
{
    if (!source || !source->DataSet() || !source->DataSet()->Active())
        throw EHostError(QStringLiteral("%1 sem dataset aberto.").arg(QString::fromUtf8(what)));
    return source->DataSet();
}

} // namespace

int QtHostServices::messageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int)
{
    QMessageBox box(QApplication::activeWindow());
    box.setObjectName(QStringLiteral("frmMensagem"));
    box.setWindowTitle(dialogTitle(type));
    box.setText(text);
    box.setIcon(type == mtError         ? QMessageBox::Critical
                : type == mtWarning     ? QMessageBox::Warning
                : type == mtConfirmation ? QMessageBox::Question
                                         : QMessageBox::Information);
    QPushButton* yes = (buttons & mbYes) ? box.addButton(QStringLiteral("Sim"), QMessageBox::YesRole) : nullptr;
    QPushButton* no = (buttons & mbNo) ? box.addButton(QStringLiteral("Não"), QMessageBox::NoRole) : nullptr;
    QPushButton* ok = (buttons & mbOK) || !buttons ? box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole) : nullptr;
    QPushButton* cancel = (buttons & mbCancel) ? box.addButton(QStringLiteral("Cancelar"), QMessageBox::RejectRole) : nullptr;
    box.setDefaultButton(no ? no : ok ? ok : yes);
    if (no)
        box.setEscapeButton(no);
    else if (cancel)
        box.setEscapeButton(cancel);
    box.exec();
    const QAbstractButton* pressed = box.clickedButton();
    if (pressed && pressed == yes)
        return mrYes;
    if (pressed && pressed == ok)
        return mrOk;
    if (pressed && pressed == cancel)
        return mrCancel;
    return no ? mrNo : cancel ? mrCancel : mrOk;
}

int QtHostServices::showModal(QDialog* form) { return form->exec(); }

void QtHostServices::showWait(QWidget* mainForm, int kind)
{
    if (m_wait) {
        m_wait->setKind(kind);
        return;
    }
    // Over the window the operator is looking at: the modal dialog on top when there is one
    // (the main form then only sits greyed behind it), else the main form.
    QWidget* over = QApplication::activeModalWidget();
    if (!over || !over->isVisible())
        over = mainForm && mainForm->isVisible() ? mainForm : QApplication::activeWindow();
    if (!over)
        return;
    m_focusBefore = QApplication::focusWidget();
    m_wait = new TWaitOverlay(over, kind);
    m_wait->setFocus();   // keys typed meanwhile reach the overlay, not the dialog's boxes
}

void QtHostServices::hideWait()
{
    if (!m_wait)
        return;
    m_wait->hide();
    m_wait->deleteLater();
    m_wait.clear();
    if (m_focusBefore)
        m_focusBefore->setFocus();
}

void QtHostServices::loadScreen(const QString& screenCode, const QVariant& params) { RunPackageScreen(screenCode, params); }

bool QtHostServices::pickRecord(TDataSource* dataSource, const QString& title, const QString& emptyText)
{
    TClientDataSet* ds = requireDataSet(dataSource, "Pesquisa");
    TRecordListDialog dialog(dataSource, title, emptyText, false);
    if (dialog.exec() != QDialog::Accepted || dialog.currentRow() < 0)
        return false;
    ds->SetRecNo(dialog.currentRow() + 1);
    return true;
}

QString QtHostServices::tickList(TDataSource* dataSource, const QString& keyField, const QString& title, const QString& preselected)
{
    TClientDataSet* ds = requireDataSet(dataSource, "Lista de seleção");
    TField* key = ds->FieldByName(keyField);
    TRecordListDialog dialog(dataSource, title, QString(), true);
    const QStringList before = ParseTickedKeys(preselected);
    for (int row = 0; row < ds->RecordCount(); ++row)
        if (before.contains(ds->ValueAt(row, key->Index()).toString().trimmed()))
            dialog.model.setChecked(row, true);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    QStringList keys;
    for (int row = 0; row < ds->RecordCount(); ++row)
        if (dialog.model.checkedRows().contains(row))
            keys << ds->ValueAt(row, key->Index()).toString();
    return FormatTickedKeys(keys, key->Size());
}

bool QtHostServices::confirmPassword(const QString& operatorCode, const QString& caption, const QString& label)
{
    QDialog dialog(QApplication::activeWindow());
    dialog.setObjectName(QStringLiteral("frmConfSenha"));
    dialog.setWindowTitle(caption);
    auto* who = new QLineEdit(operatorCode, &dialog);
    who->setObjectName(QStringLiteral("edtOperador"));
    who->setReadOnly(true);
    auto* password = new QLineEdit(&dialog);
    password->setObjectName(QStringLiteral("edtSenha"));
    password->setEchoMode(QLineEdit::Password);
    auto* wrong = new QLabel(QStringLiteral("Senha não confere."), &dialog);
    wrong->setStyleSheet(QStringLiteral("color: #b00020"));
    wrong->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
    auto* form = new QFormLayout(&dialog);
    form->addRow(label, who);
    form->addRow(QStringLiteral("Senha"), password);
    form->addRow(wrong);
    form->addRow(buttons);
    // The operator is given: the cursor waits in the password box.
    if (!operatorCode.isEmpty()) {
        who->setFocusPolicy(Qt::NoFocus);
        password->setFocus();
    }
    bool confirmed = false;
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        RunHandler([&] {
            confirmed = ConfSenhaNoServidor(operatorCode, password->text());
            password->clear();
            if (confirmed)
                dialog.accept();
            else
                wrong->show();
        });
    });
    dialog.exec();
    return confirmed;
}
