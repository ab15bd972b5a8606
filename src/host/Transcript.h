#pragma once
// The transcript of an operation: JSON lines, one per event, in the order they happen
// (docs/scripting.md). The scripted operator writes one; RecordingHostServices writes the
// same lines for a person working at the window.

#include "HostServices.h"

#include <QJsonObject>
#include <QList>

#include <memory>

class QIODevice;

class TTranscript {
public:
    // Lines also go to `device` as they happen, one compact JSON object per line.
    void SetDevice(QIODevice* device) { m_device = device; }
    void Write(QJsonObject line);
    const QList<QJsonObject>& Lines() const { return m_lines; }
    QList<QJsonObject> Lines(const QString& kind) const;

    static QJsonObject Message(const QString& text, TMsgDlgType type, int answer = mrNone);
    static QJsonObject Form(QWidget* form, const QString& event, const QJsonObject& action = {});
    static QJsonObject Call(const TCallRecord& call);
    static QJsonObject Wait(bool on, int kind = 0);
    static QJsonObject Screen(const QString& code, const QVariant& params);
    static QJsonObject ScreenClosed(const QString& code);
    static QJsonObject List(const QString& title, const QString& keyField, const QString& answer);
    static QJsonObject Pick(const QString& title, const QJsonValue& answer);
    static QJsonObject Password(const QString& operatorCode, bool confirmed);
    static QJsonValue WireJson(const QVariant& value);   // a value in the wire encoding

    // `value` with every "password" member, at any depth, replaced by "********". Every line
    // goes through it before it is kept or written, so no password reaches a transcript.
    static QJsonValue MaskPasswords(const QJsonValue& value);

private:
    QIODevice* m_device = nullptr;
    QList<QJsonObject> m_lines;
};

// Any host services, with every interaction also written to a transcript.
class RecordingHostServices : public IHostServices {
public:
    RecordingHostServices(std::unique_ptr<IHostServices> inner, QIODevice* device);
    TTranscript& Transcript() { return m_transcript; }

    int messageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) override;
    int showModal(QDialog* form) override;
    void showWait(QWidget* mainForm, int kind) override;
    void hideWait() override;
    void loadScreen(const QString& screenCode, const QVariant& params) override;
    bool pickRecord(TDataSource* dataSource, const QString& title, const QString& emptyText) override;
    QString tickList(TDataSource* dataSource, const QString& keyField, const QString& title, const QString& preselected) override;
    bool confirmPassword(const QString& operatorCode, const QString& caption, const QString& label) override;
    void callMade(const TCallRecord& call) override;

private:
    std::unique_ptr<IHostServices> m_inner;
    TTranscript m_transcript;
    bool m_waitOn = false;
};
