#include "Transcript.h"

#include "ClientDataSet.h"
#include "Errors.h"
#include "FormDriver.h"
#include "Wire.h"

#include <QDialog>
#include <QFileDevice>
#include <QJsonArray>
#include <QJsonDocument>

namespace {
QString kindName(TMsgDlgType type)
{
    switch (type) {
    case mtWarning: return QStringLiteral("warning");
    case mtError: return QStringLiteral("error");
    case mtConfirmation: return QStringLiteral("confirmation");
    case mtInformation:
    case mtCustom: break;
    }
    return QStringLiteral("information");
}

QJsonObject line(const char* kind) { return {{QStringLiteral("kind"), QString::fromLatin1(kind)}}; }
} // namespace

// A line as text, with its kind first so that it reads well.
static QByteArray LineText(const QJsonObject& line)
{
    QJsonObject rest = line;
    const QJsonValue kind = rest.take(QLatin1String("kind"));
    QByteArray text = QJsonDocument(rest).toJson(QJsonDocument::Compact);
    if (kind.isUndefined())
        return text;
    QByteArray head = "{\"kind\":" + QJsonDocument(QJsonArray{kind}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
    return rest.isEmpty() ? head + '}' : head + ',' + text.mid(1);
}

QJsonValue TTranscript::MaskPasswords(const QJsonValue& value)
{
    if (value.isArray()) {
        QJsonArray masked;
        for (const QJsonValue& item : value.toArray())
            masked.append(MaskPasswords(item));
        return masked;
    }
    if (!value.isObject())
        return value;
    QJsonObject masked = value.toObject();
    for (auto it = masked.begin(); it != masked.end(); ++it)
        it.value() = it.key() == QLatin1String("password") ? QJsonValue(QStringLiteral("********")) : MaskPasswords(it.value());
    return masked;
}

void TTranscript::Write(QJsonObject line)
{
    line = MaskPasswords(line).toObject();
    if (m_device) {
        m_device->write(LineText(line) + '\n');
        if (auto* file = qobject_cast<QFileDevice*>(m_device))
            file->flush();
    }
    m_lines.append(std::move(line));
}

QList<QJsonObject> TTranscript::Lines(const QString& kind) const
{
    QList<QJsonObject> lines;
    for (const auto& l : m_lines)
        if (l.value(QLatin1String("kind")).toString() == kind)
            lines << l;
    return lines;
}

QJsonValue TTranscript::WireJson(const QVariant& value)
{
    try {
        return QJsonDocument::fromJson("[" + Wire::Encode(value) + "]").array().at(0);
    } catch (const EWireError& e) {
        return e.message();
    }
}

QJsonObject TTranscript::Message(const QString& text, TMsgDlgType type, int answer)
{
    QJsonObject o = line("message");
    o[QStringLiteral("type")] = kindName(type);
    o[QStringLiteral("text")] = text;
    if (answer != mrNone && answer != mrOk)
        o[QStringLiteral("answer")] = answer == mrYes ? QStringLiteral("yes") : answer == mrNo ? QStringLiteral("no") : QStringLiteral("cancel");
    return o;
}

QJsonObject TTranscript::Form(QWidget* form, const QString& event, const QJsonObject& action)
{
    QJsonObject o = line("form");
    o[QStringLiteral("form")] = QString::fromLatin1(form->metaObject()->className());
    o[QStringLiteral("event")] = event;
    if (!action.isEmpty())
        o[QStringLiteral("action")] = action;
    o[QStringLiteral("caption")] = form->windowTitle();
    o[QStringLiteral("widgets")] = SnapshotWidgets(form);
    return o;
}

QJsonObject TTranscript::Call(const TCallRecord& call)
{
    QJsonObject o = line("call");
    o[QStringLiteral("object")] = call.object;
    o[QStringLiteral("method")] = call.method;
    o[QStringLiteral("args")] = WireJson(call.args);
    o[QStringLiteral("outcome")] = call.outcome == TCallRecord::Ok     ? QStringLiteral("ok")
                                   : call.outcome == TCallRecord::Fail ? QStringLiteral("fail")
                                                                       : QStringLiteral("exception");
    if (!call.message.isEmpty())
        o[QStringLiteral("message")] = call.message;
    return o;
}

QJsonObject TTranscript::Wait(bool on, int kind)
{
    QJsonObject o = line("wait");
    o[QStringLiteral("on")] = on;
    if (on)
        o[QStringLiteral("type")] = kind;
    return o;
}

QJsonObject TTranscript::Screen(const QString& code, const QVariant& params)
{
    QJsonObject o = line("screen");
    o[QStringLiteral("code")] = code;
    o[QStringLiteral("params")] = WireJson(params);
    return o;
}

QJsonObject TTranscript::ScreenClosed(const QString& code)
{
    QJsonObject o = line("screen");
    o[QStringLiteral("code")] = code;
    o[QStringLiteral("event")] = QStringLiteral("closed");
    return o;
}

QJsonObject TTranscript::List(const QString& title, const QString& keyField, const QString& answer)
{
    QJsonObject o = line("list");
    o[QStringLiteral("title")] = title;
    o[QStringLiteral("key")] = keyField;
    o[QStringLiteral("answer")] = answer;
    return o;
}

QJsonObject TTranscript::Pick(const QString& title, const QJsonValue& answer)
{
    QJsonObject o = line("pick");
    o[QStringLiteral("title")] = title;
    o[QStringLiteral("answer")] = answer;
    return o;
}

QJsonObject TTranscript::Password(const QString& operatorCode, bool confirmed)
{
    QJsonObject o = line("password");
    o[QStringLiteral("operator")] = operatorCode;
    o[QStringLiteral("confirmed")] = confirmed;
    return o;
}

// ============================================================================ RecordingHostServices

RecordingHostServices::RecordingHostServices(std::unique_ptr<IHostServices> inner, QIODevice* device) : m_inner(std::move(inner))
{
    m_transcript.SetDevice(device);
}

int RecordingHostServices::messageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext)
{
    const int answer = m_inner->messageDlg(text, type, buttons, helpContext);
    m_transcript.Write(TTranscript::Message(text, type, (buttons & (mbYes | mbNo)) ? answer : mrNone));
    return answer;
}

int RecordingHostServices::showModal(QDialog* form)
{
    m_transcript.Write(TTranscript::Form(form, QStringLiteral("shown")));
    const int result = m_inner->showModal(form);
    m_transcript.Write(TTranscript::Form(form, QStringLiteral("closed")));
    return result;
}

void RecordingHostServices::showWait(QWidget* mainForm, int kind)
{
    m_waitOn = true;
    m_transcript.Write(TTranscript::Wait(true, kind));
    m_inner->showWait(mainForm, kind);
}

void RecordingHostServices::hideWait()
{
    if (m_waitOn)
        m_transcript.Write(TTranscript::Wait(false));
    m_waitOn = false;
    m_inner->hideWait();
}

void RecordingHostServices::loadScreen(const QString& screenCode, const QVariant& params)
{
    m_transcript.Write(TTranscript::Screen(screenCode.toUpper(), params));
    struct Closed {
        TTranscript& t;
        QString code;
        ~Closed() { t.Write(TTranscript::ScreenClosed(code)); }
    } closed{m_transcript, screenCode.toUpper()};
    m_inner->loadScreen(screenCode, params);
}

bool RecordingHostServices::pickRecord(TDataSource* dataSource, const QString& title, const QString& emptyText)
{
    const bool picked = m_inner->pickRecord(dataSource, title, emptyText);
    QJsonValue answer = QJsonValue::Null;
    if (picked && dataSource && dataSource->DataSet()) {
        TClientDataSet* ds = dataSource->DataSet();
        for (int i = 0; i < ds->FieldCount(); ++i)
            if (ds->Fields(i)->Visible() && ds->Fields(i)->FieldName() != QLatin1String("IDMARCADO")) {
                answer = ds->Fields(i)->AsString();
                break;
            }
    }
    m_transcript.Write(TTranscript::Pick(title, answer));
    return picked;
}

QString RecordingHostServices::tickList(TDataSource* dataSource, const QString& keyField, const QString& title, const QString& preselected)
{
    const QString answer = m_inner->tickList(dataSource, keyField, title, preselected);
    m_transcript.Write(TTranscript::List(title, keyField, answer));
    return answer;
}

bool RecordingHostServices::confirmPassword(const QString& operatorCode, const QString& caption, const QString& label)
{
    const bool confirmed = m_inner->confirmPassword(operatorCode, caption, label);
    m_transcript.Write(TTranscript::Password(operatorCode, confirmed));
    return confirmed;
}

void RecordingHostServices::callMade(const TCallRecord& call)
{
    m_transcript.Write(TTranscript::Call(call));
    m_inner->callMade(call);
}
