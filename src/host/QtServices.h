#pragma once
// The host services for people: message boxes, the record choice, the tick list, the password
// confirmation and the wait animation, as Qt dialogs.

#include "HostServices.h"

#include <QPointer>

class TWaitOverlay;

class QtHostServices : public IHostServices {
public:
    int messageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) override;
    int showModal(QDialog* form) override;
    void showWait(QWidget* mainForm, int kind) override;
    void hideWait() override;
    void loadScreen(const QString& screenCode, const QVariant& params) override;
    bool pickRecord(TDataSource* dataSource, const QString& title, const QString& emptyText) override;
    QString tickList(TDataSource* dataSource, const QString& keyField, const QString& title, const QString& preselected) override;
    bool confirmPassword(const QString& operatorCode, const QString& caption, const QString& label) override;

private:
    QPointer<TWaitOverlay> m_wait;
    QPointer<QWidget> m_focusBefore;
};
