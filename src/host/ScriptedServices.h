#pragma once
// The host services without a person: every interaction that needs an answer takes the next
// step of a script, and everything that happens is written to a transcript (JSON lines).
// docs/scripting.md describes both. The same implementation serves the tests and
// `ore-host --headless`.

#include "HostServices.h"
#include "Transcript.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>

#include <functional>
#include <map>

class QIODevice;

class ScriptedHostServices : public IHostServices {
public:
    using FakeScreen = std::function<void(const QVariant& params)>;

    ScriptedHostServices();
    // `script` is {"steps":[...]}; throws EHostError when it is not.
    explicit ScriptedHostServices(const QJsonObject& script);
    static QJsonObject ParseScript(const QByteArray& json);   // throws EHostError

    void SetSteps(const QJsonArray& steps);
    // Transcript lines also go to `device` (one JSON object per line), as they happen.
    void SetTranscriptDevice(QIODevice* device);
    // Screens answered in-process instead of by their packages.
    void RegisterScreen(const QString& screenCode, FakeScreen screen);

    void Write(QJsonObject line) { m_transcript.Write(std::move(line)); }
    const QList<QJsonObject>& Transcript() const { return m_transcript.Lines(); }
    QList<QJsonObject> Lines(const QString& kind) const { return m_transcript.Lines(kind); }
    int UnscriptedCount() const { return m_unscripted; }
    int RemainingSteps() const { return int(m_steps.size()) - m_next; }
    QJsonArray RemainingStepList() const;       // the steps not used, in order
    int ErrorsShown() const { return m_errorsShown; }   // error boxes shown to the operator
    bool WaitShown() const { return m_waitOn; }

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
    // The next step when it has `key`; otherwise writes an "unscripted" line and returns
    // nothing (the step stays for the interaction it fits).
    std::optional<QJsonObject> take(const QString& key, const QString& interaction, const QString& detail);
    void unscripted(const QString& interaction, const QString& detail);

    QJsonArray m_steps;
    int m_next = 0;
    TTranscript m_transcript;
    std::map<QString, FakeScreen> m_screens;
    int m_unscripted = 0;
    int m_errorsShown = 0;
    bool m_waitOn = false;
};
