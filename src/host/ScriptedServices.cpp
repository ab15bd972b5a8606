#include "ScriptedServices.h"

#include "ClientDataSet.h"
#include "Errors.h"
#include "FormDriver.h"
#include "Lib00700.h"
#include "ScreenLoader.h"
#include "Wire.h"

#include <QApplication>
#include <QDialog>
#include <QFileDevice>
#include <QIODevice>
#include <QJsonDocument>

namespace {

QString className(const QObject* o) { return QString::fromLatin1(o->metaObject()->className()); }

// The first visible column's text of each record, for picking by value.
int rowWithFirstColumn(TClientDataSet* ds, const QString& value)
{
    int column = -1;
    for (int i = 0; i < ds->FieldCount() && column < 0; ++i)
        if (ds->Fields(i)->Visible() && ds->Fields(i)->FieldName() != QLatin1String("IDMARCADO"))
            column = i;
    if (column < 0)
        return -1;
    for (int row = 0; row < ds->RecordCount(); ++row) {
        if (ds->ValueAt(row, column).toString().trimmed() == value.trimmed()
            || ds->DisplayTextAt(row, column).trimmed() == value.trimmed())
            return row;
    }
    return -1;
}

} // namespace

ScriptedHostServices::ScriptedHostServices() = default;

ScriptedHostServices::ScriptedHostServices(const QJsonObject& script)
{
    if (!script.value(QLatin1String("steps")).isArray())
        throw EHostError(QStringLiteral("O script deve ser um objeto {\"steps\": [...]}."));
    SetSteps(script.value(QLatin1String("steps")).toArray());
}

QJsonObject ScriptedHostServices::ParseScript(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        throw EHostError(QStringLiteral("Script inválido: %1 (posição %2).").arg(error.errorString()).arg(error.offset));
    if (!doc.isObject() || !doc.object().value(QLatin1String("steps")).isArray())
        throw EHostError(QStringLiteral("O script deve ser um objeto {\"steps\": [...]}."));
    for (const auto& step : doc.object().value(QLatin1String("steps")).toArray())
        if (!step.isObject())
            throw EHostError(QStringLiteral("Cada passo do script deve ser um objeto."));
    return doc.object();
}

void ScriptedHostServices::SetSteps(const QJsonArray& steps)
{
    m_steps = steps;
    m_next = 0;
}

QJsonArray ScriptedHostServices::RemainingStepList() const
{
    QJsonArray rest;
    for (qsizetype i = m_next; i < m_steps.size(); ++i)
        rest.append(m_steps.at(i));
    return rest;
}

void ScriptedHostServices::SetTranscriptDevice(QIODevice* device) { m_transcript.SetDevice(device); }

void ScriptedHostServices::RegisterScreen(const QString& screenCode, FakeScreen screen)
{
    m_screens[screenCode.toUpper()] = std::move(screen);
}

void ScriptedHostServices::unscripted(const QString& interaction, const QString& detail)
{
    ++m_unscripted;
    QJsonObject line{{QStringLiteral("kind"), QStringLiteral("unscripted")},
                     {QStringLiteral("interaction"), interaction},
                     {QStringLiteral("detail"), detail}};
    if (m_next < m_steps.size())
        line[QStringLiteral("next")] = m_steps.at(m_next);
    Write(line);
}

std::optional<QJsonObject> ScriptedHostServices::take(const QString& key, const QString& interaction, const QString& detail)
{
    if (m_next < m_steps.size()) {
        const QJsonObject step = m_steps.at(m_next).toObject();
        if (step.contains(key)) {
            ++m_next;
            return step;
        }
    }
    unscripted(interaction, detail);
    return std::nullopt;
}

int ScriptedHostServices::messageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int)
{
    const bool question = buttons & (mbYes | mbNo);
    if (!question) {
        if (type == mtError)
            ++m_errorsShown;
        Write(TTranscript::Message(text, type));
        return (buttons & mbCancel) && !(buttons & mbOK) ? mrCancel : mrOk;
    }
    int result = (buttons & mbNo) ? mrNo : mrCancel;
    if (const auto step = take(QStringLiteral("answer"), QStringLiteral("confirmation"), text)) {
        const QString answer = step->value(QLatin1String("answer")).toString().toLower();
        if (answer == QLatin1String("yes") && (buttons & mbYes))
            result = mrYes;
        else if (answer == QLatin1String("no") && (buttons & mbNo))
            result = mrNo;
        else
            unscripted(QStringLiteral("confirmation"), QStringLiteral("resposta \"%1\" não cabe nesta pergunta").arg(answer));
    }
    Write(TTranscript::Message(text, type, result));
    return result;
}

int ScriptedHostServices::showModal(QDialog* form)
{
    const QString name = className(form);
    form->setResult(0);
    form->show();
    form->activateWindow();
    QApplication::setActiveWindow(form);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    Write(TTranscript::Form(form, QStringLiteral("shown")));

    bool tookStep = false;
    while (form->isVisible()) {
        const QJsonObject step = m_next < m_steps.size() ? m_steps.at(m_next).toObject() : QJsonObject();
        if (step.value(QLatin1String("form")).toString() != name) {
            if (!tookStep)
                unscripted(QStringLiteral("form"), name);
            form->close();
            if (form->isVisible())   // the form refused to close: nothing more can be done
                form->hide();
            break;
        }
        ++m_next;
        tookStep = true;
        for (const auto& a : step.value(QLatin1String("actions")).toArray()) {
            const QJsonObject action = a.toObject();
            if (!form->isVisible()) {
                unscripted(QStringLiteral("action"), QStringLiteral("%1 já foi fechado").arg(name));
                break;
            }
            if (const QString why = RunFormAction(form, action); !why.isEmpty())
                unscripted(QStringLiteral("action"), why);
            Write(TTranscript::Form(form, QStringLiteral("action"), action));
        }
    }
    Write(TTranscript::Form(form, QStringLiteral("closed")));
    return form->result();
}

void ScriptedHostServices::showWait(QWidget*, int kind)
{
    m_waitOn = true;
    Write(TTranscript::Wait(true, kind));
}

void ScriptedHostServices::hideWait()
{
    if (!m_waitOn)
        return;
    m_waitOn = false;
    Write(TTranscript::Wait(false));
}

void ScriptedHostServices::loadScreen(const QString& screenCode, const QVariant& params)
{
    const QString code = screenCode.toUpper();
    Write(TTranscript::Screen(code, params));
    struct Closed {
        ScriptedHostServices* self;
        QString code;
        ~Closed() { self->Write(TTranscript::ScreenClosed(code)); }
    } closed{this, code};
    if (const auto it = m_screens.find(code); it != m_screens.end())
        it->second(params);
    else
        RunPackageScreen(screenCode, params);
}

bool ScriptedHostServices::pickRecord(TDataSource* dataSource, const QString& title, const QString& emptyText)
{
    QJsonObject line = TTranscript::Pick(title, QJsonValue::Null);
    TClientDataSet* ds = dataSource ? dataSource->DataSet() : nullptr;
    if (!ds || !ds->Active())
        throw EHostError(QStringLiteral("Pesquisa \"%1\" sem dataset aberto.").arg(title));
    if (ds->IsEmpty())
        line[QStringLiteral("empty")] = emptyText;
    bool picked = false;
    QJsonValue answer = QJsonValue::Null;
    if (m_next < m_steps.size() && m_steps.at(m_next).toObject().contains(QLatin1String("pick"))) {
        const QJsonValue wanted = m_steps.at(m_next).toObject().value(QLatin1String("pick"));
        if (wanted.isNull()) {
            ++m_next;
        } else {
            const int row = rowWithFirstColumn(ds, wanted.toVariant().toString());
            if (row >= 0) {
                ++m_next;
                ds->SetRecNo(row + 1);
                picked = true;
                answer = wanted;
            } else {
                unscripted(QStringLiteral("pick"), QStringLiteral("\"%1\" não está na lista \"%2\"").arg(wanted.toVariant().toString(), title));
            }
        }
    } else {
        unscripted(QStringLiteral("pick"), title);
    }
    line[QStringLiteral("answer")] = answer;
    Write(line);
    return picked;
}

QString ScriptedHostServices::tickList(TDataSource* dataSource, const QString& keyField, const QString& title, const QString&)
{
    TClientDataSet* ds = dataSource ? dataSource->DataSet() : nullptr;
    if (!ds || !ds->Active())
        throw EHostError(QStringLiteral("Lista de seleção \"%1\" sem dataset aberto.").arg(title));
    TField* key = ds->FieldByName(keyField);
    QString answer;
    if (m_next < m_steps.size() && m_steps.at(m_next).toObject().contains(QLatin1String("tick"))) {
        QStringList available;
        for (int row = 0; row < ds->RecordCount(); ++row)
            available << ds->ValueAt(row, key->Index()).toString();
        QStringList keys;
        QString missing;
        for (const auto& k : m_steps.at(m_next).toObject().value(QLatin1String("tick")).toArray()) {
            const QString wanted = k.toVariant().toString().trimmed();
            const auto it = std::find_if(available.begin(), available.end(), [&](const QString& a) { return a.trimmed() == wanted; });
            if (it == available.end())
                missing = wanted;
            else if (!keys.contains(*it))
                keys << *it;
        }
        if (missing.isEmpty()) {
            ++m_next;
            // Ticked in the order of the list, as a person ticking down the list would.
            QStringList ordered;
            for (const QString& a : available)
                if (keys.contains(a))
                    ordered << a;
            answer = FormatTickedKeys(ordered, key->Size());
        } else {
            unscripted(QStringLiteral("list"), QStringLiteral("\"%1\" não está na lista \"%2\"").arg(missing, title));
        }
    } else {
        unscripted(QStringLiteral("list"), title);
    }
    Write(TTranscript::List(title, keyField, answer));
    return answer;
}

bool ScriptedHostServices::confirmPassword(const QString& operatorCode, const QString& caption, const QString&)
{
    bool confirmed = false;
    if (const auto step = take(QStringLiteral("password"), QStringLiteral("password"), caption))
        confirmed = ConfSenhaNoServidor(operatorCode, step->value(QLatin1String("password")).toString());
    Write(TTranscript::Password(operatorCode, confirmed));
    return confirmed;
}

void ScriptedHostServices::callMade(const TCallRecord& call) { Write(TTranscript::Call(call)); }
