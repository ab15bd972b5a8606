#include "ServerObjects.h"

#include "Authorization.h"

#include "Errors.h"
#include "Variants.h"
#include "Wire.h"

#include <QSqlQuery>

#include <malloc.h>

namespace {
QString describe(const TCall& call, int i)
{
    if (call.method && call.method->rule.secret.contains(i))
        return QStringLiteral("********");   // a password is never repeated
    // A glimpse of the value, never the whole of it: an argument may be megabytes.
    const QVariant& v = call.raw(i);
    if (VarIsNull(v))
        return QStringLiteral("null");
    if (VarIsClear(v))
        return QStringLiteral("um valor não atribuído");
    if (VarIsPacket(v))
        return QStringLiteral("um pacote de %1 linha(s)").arg(v.value<TDataPacket>().rows().size());
    switch (v.metaType().id()) {
    case QMetaType::QVariantList: return QStringLiteral("uma lista de %1 valor(es)").arg(v.toList().size());
    case QMetaType::QString: {
        const QString text = v.toString();
        return QLatin1Char('"') + text.left(60) + (text.size() > 60 ? QStringLiteral("…\"") : QStringLiteral("\""));
    }
    case QMetaType::Bool: return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::QDate: return v.toDate().toString(Qt::ISODate);
    case QMetaType::QDateTime: return v.toDateTime().toString(Qt::ISODate);
    default: return v.canConvert<QString>() ? v.toString().left(60) : QString::fromLatin1(v.typeName());
    }
}
} // namespace

QString TCall::text(int i) const
{
    const QVariant& v = raw(i);
    switch (v.metaType().id()) {
    case QMetaType::QString: return v.toString();
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Double: return v.toString();
    default: break;
    }
    if (VarIsClear(v))
        return {};
    throw EWireError(QStringLiteral("%1: o argumento %2 deve ser um texto (recebido %3).").arg(where()).arg(i + 1).arg(describe(*this, i)));
}

double TCall::number(int i) const
{
    const QVariant& v = raw(i);
    bool ok = false;
    const double d = v.metaType().id() == QMetaType::QString ? v.toString().toDouble(&ok) : v.toDouble(&ok);
    if (!ok || VarIsClear(v))
        throw EWireError(QStringLiteral("%1: o argumento %2 deve ser um número (recebido %3).").arg(where()).arg(i + 1).arg(describe(*this, i)));
    return d;
}

TDataPacket TCall::packet(int i) const
{
    const QVariant& v = raw(i);
    if (!VarIsPacket(v))
        throw EWireError(QStringLiteral("%1: o argumento %2 deve ser um pacote de dados (recebido %3).").arg(where()).arg(i + 1).arg(describe(*this, i)));
    return v.value<TDataPacket>();
}

QDate TCall::date(int i) const
{
    const QVariant& v = raw(i);
    QDate d = v.metaType().id() == QMetaType::QDate ? v.toDate()
              : v.metaType().id() == QMetaType::QDateTime ? v.toDateTime().date()
                                                           : QDate::fromString(v.toString(), Qt::ISODate);
    if (!d.isValid())
        throw EWireError(QStringLiteral("%1: o argumento %2 deve ser uma data (recebido %3).").arg(where()).arg(i + 1).arg(describe(*this, i)));
    return d;
}

const char* const kSessionInvalid = "Sessão inválida ou expirada. Entre novamente.";

namespace {

// A call without a valid session, or whose headers name someone else.
struct ESessionRefused {
    int httpStatus;
    QString text;
};

bool IsLogin(const QString& name) { return name == QLatin1String("CRV.rdmHost.Login"); }

// A failure that is not the caller's (the database's, or a fault of the server): the caller
// gets `text` (or "Erro interno do servidor") with a number, the server's log the detail under
// that number, since the database's words and SQL are no caller's business.
QString InternalError(const QString& text, const std::exception& e)
{
    static std::atomic<quint64> serial{0};
    const quint64 number = ++serial;
    qWarning("ore-server: %s registro %llu: %s", qPrintable(QDateTime::currentDateTime().toString(Qt::ISODateWithMs)), number, e.what());
    return (text.isEmpty() ? QStringLiteral("Erro interno do servidor") : text) + QStringLiteral(" (registro %1)").arg(number);
}

} // namespace

TServerObjects::TServerObjects(TStore& store, TSessionPolicy policy)
    : m_store(store), m_policy(policy)
{
    if (store.dialect() == TStore::PostgreSQL)
        m_sessionChanges = std::make_unique<TChannelListener>(store.connectionInfo(), SessionChannel,
                                                              TChannelListener::THandlers{[this](bool hearing) { m_sessions.SetHearing(hearing); },
                                                                                          [this](const QString& hash) { m_sessions.Changed(hash); }});
}

TServerObjects::~TServerObjects() { JournalRefusals(true); }

bool TServerObjects::KeepsSessionOf(const QString& token) const { return m_sessions.Find(Sessions::TokenHash(token)).has_value(); }

std::optional<TSessionInfo> TServerObjects::findSession(QSqlDatabase& db, const QString& token, const QDateTime& now, bool reading)
{
    if (token.isEmpty())
        return std::nullopt;
    const QString hash = Sessions::TokenHash(token);
    if (reading && m_sessionChanges) {
        if (const auto kept = m_sessions.Find(hash))
            if (auto session = Sessions::Alive(*kept, now, m_policy))
                return session;
    }
    // Looked up in the store: also a kept session that seems idle too long, whose last use
    // another server may have written since.
    const quint64 heard = m_sessions.Heard();
    const std::optional<TStoredSession> stored = Sessions::Lookup(db, hash);
    if (!stored) {
        m_sessions.Forget(hash);
        return std::nullopt;
    }
    if (reading && m_sessionChanges)
        m_sessions.Remember(*stored, heard);
    return Sessions::Alive(*stored, now, m_policy);
}

void TServerObjects::TObject::Read(const QString& method, int argumentCount, const TMethodLabel& label, const TMethodRule& rule, Method body)
{
    m_objects.Declare({m_name, method, argumentCount, TMethodKind::Read, label, rule, std::move(body)});
}

void TServerObjects::TObject::Write(const QString& method, int argumentCount, const TMethodLabel& label, const TMethodRule& rule, Method body)
{
    m_objects.Declare({m_name, method, argumentCount, TMethodKind::Write, label, rule, std::move(body)});
}

void TServerObjects::Declare(TMethodDeclaration declaration)
{
    QStringList faults = Faults(declaration);
    if (m_methods.count(declaration.name()))
        faults << QStringLiteral("declarado duas vezes");
    if (!faults.isEmpty())
        throw std::logic_error(QStringLiteral("ore-server: o método %1 está mal declarado: %2.")
                                   .arg(declaration.name(), faults.join(QStringLiteral("; ")))
                                   .toStdString());
    const QString name = declaration.name();
    m_methods.emplace(name, std::move(declaration));
}

QString TServerObjects::LabelOf(const QString& object, const QString& method, const QString& arguments) const
{
    const auto it = m_methods.find(object + QLatin1Char('.') + method);
    return it == m_methods.end() ? method : it->second.label.Of(arguments);
}

void TServerObjects::journalAlone(const TJournalEntry& entry)
{
    try {
        m_store.transaction([&](QSqlDatabase& db) { Journal::Append(db, entry); });
    } catch (const EHostError& e) {
        // The call's answer stands; the lost entry is reported where the server's operator looks.
        qWarning("ore-server: o jornal não registrou %s.%s: %s", qPrintable(entry.object), qPrintable(entry.method), qPrintable(e.message()));
    }
}

TRpcReply TServerObjects::Dispatch(const TRpcRequest& request)
{
    const QString name = request.object + QLatin1Char('.') + request.method;
    const QDateTime now = QDateTime::currentDateTime().addSecs(m_clockAhead.load(std::memory_order_relaxed));
    const auto it = m_methods.find(name);
    if (it == m_methods.end() || request.params.size() != it->second.argumentCount)
        return unknownMethod(request, it == m_methods.end() ? nullptr : &it->second, now);
    const TMethodDeclaration& method = it->second;

    const TMethodRule& rule = method.rule;
    const bool writes = method.writes();
    // Until a session vouches for them, the headers' operator and branch are only a claim.
    TJournalEntry entry{now, {}, {}, request.object, request.method};
    if (IsLogin(name)) {
        entry.operatorCode = request.params.value(0).toString();
        entry.branch = request.params.value(2).toString();
    }
    // The entry as it is written: the quote and the arguments are read from the call only then,
    // since most calls are never journalled.
    const auto journalled = [&](const QString& outcome, const QString& message) -> const TJournalEntry& {
        const TQuoteKey quote = QuoteNamed(request.params, rule);
        entry.quoteBranch = quote.branch;
        entry.quoteNumber = quote.number;
        entry.quoteSequence = quote.sequence;
        // A change made keeps its arguments whole; a call that changed nothing, a glimpse.
        entry.arguments = outcome == QLatin1String("ok") ? Journal::Arguments(request.params, rule.secret) : Journal::Glimpse(request.params, rule.secret);
        entry.peer = request.peer;
        entry.outcome = outcome;
        entry.message = message;
        return entry;
    };

    // A call that ended in an exception: a change is journalled as such, in a transaction of its own.
    const auto raised = [&](const QString& answer) {
        if (writes)
            journalAlone(journalled(QStringLiteral("exception"), answer));
        return TRpcReply::Error(answer);
    };

    TRpcRequest acting = request;
    TRpcReply reply;
    std::optional<TSessionInfo> session;
    TPasswordCheck passwordCheck;
    try {
        if (rule.checksPassword) {
            // A password's hash takes tens of milliseconds: it is computed before any
            // transaction, which then holds no lock meanwhile. The check is counted in a
            // transaction of its own, once the caller's session (where the method needs one) is
            // found, so that nothing the call does afterwards can roll the count back.
            const QString checked = request.params.value(0).toString().trimmed();
            // An address that must wait, or is locked, is refused without the hash.
            QSqlDatabase db = m_store.connection();
            if (const auto refused = PeerRefusal(db, request.peer, now, m_policy)) {
                passwordCheck = *refused;
            } else {
                const bool right = PasswordMatches(db, checked, request.params.value(1).toString());
                m_store.transaction([&](QSqlDatabase& counting) {
                    if (!IsLogin(name) && !findSession(counting, request.token, now, false))
                        throw ESessionRefused{401, QString::fromUtf8(kSessionInvalid)};
                    passwordCheck = RecordPasswordCheck(counting, checked, request.peer, right, now, m_policy);
                });
            }
        }
        // Changes run in a transaction that may write; everything else reads, beside writers,
        // in a transaction that refuses a write.
        const auto run = [&](const std::function<void(QSqlDatabase&)>& work) {
            writes ? m_store.transaction(work) : m_store.readTransaction(work);
        };
        run([&](QSqlDatabase& db) {
            if (!IsLogin(name)) {
                // A read may take a kept session; not one that checked a password first,
                // whose snapshot is older than what the cache heard.
                session = findSession(db, request.token, now, !writes && !rule.checksPassword);
                if (!session)
                    throw ESessionRefused{401, QString::fromUtf8(kSessionInvalid)};
                entry.operatorCode = session->operatorCode;
                entry.branch = session->branch;
                if ((!request.operatorCode.isEmpty() && request.operatorCode.compare(session->operatorCode, Qt::CaseInsensitive) != 0)
                    || (!request.branch.isEmpty() && request.branch != session->branch))
                    throw ESessionRefused{403, QStringLiteral("Os cabeçalhos X-Operator/X-Branch (%1/%2) não são os da sessão. Chamada recusada.")
                                                   .arg(request.operatorCode, request.branch)};
                acting.operatorCode = session->operatorCode;
                acting.branch = session->branch;
            }
            TCall call{db, m_store, acting, {}, session ? &*session : nullptr, now, &m_policy, passwordCheck, {}, {}, &method, this};
            if (session)
                Authorize(call, rule);
            reply.result = method.body(call);
            reply.byref = call.byref;
            if (writes) {
                const bool failed = VarIsFail(reply.result);
                Journal::Append(db, journalled(!call.journalOutcome.isEmpty() ? call.journalOutcome : failed ? QStringLiteral("fail") : QStringLiteral("ok"),
                                               !call.journalNote.isEmpty() ? call.journalNote : failed ? reply.result.value<TFailResult>().text : QString()));
            }
        });
    } catch (const ESessionRefused& e) {
        // Without a session, a refusal is only counted: the journal gets a line per caller's
        // address and minute.
        if (!session) {
            m_refusals.Count(request.peer, request.object, request.method, e.text, now);
            return TRpcReply::Error(e.text, e.httpStatus);
        }
        QString message = e.text;
        if (entry.operatorCode.isEmpty() && !(request.operatorCode + request.branch).isEmpty())
            message += QStringLiteral(" (X-Operator: %1, X-Branch: %2)").arg(request.operatorCode, request.branch);
        journalAlone(journalled(QStringLiteral("refused"), message));
        return TRpcReply::Error(e.text, e.httpStatus);
    } catch (const EDenied& e) {
        journalAlone(journalled(QStringLiteral("refused"), QString::fromUtf8(e.what())));
        return TRpcReply::Fail(QString::fromUtf8(e.what()));
    } catch (const ERefusal& e) {
        // A change that failed is journalled too, in a transaction of its own.
        if (writes)
            journalAlone(journalled(QStringLiteral("fail"), QString::fromUtf8(e.what())));
        return TRpcReply::Fail(QString::fromUtf8(e.what()));
    } catch (const EServerError& e) {
        return raised(QString::fromUtf8(e.what()));
    } catch (const EStoreUnavailable& e) {
        return raised(InternalError(QStringLiteral("Banco de dados indisponível; tente novamente."), e));
    } catch (const EStoreError& e) {
        return raised(InternalError({}, e));
    } catch (const EHostError& e) {
        return raised(e.message());   // the call's own fault (an argument of the wrong type), told to its caller
    } catch (const std::exception& e) {
        return raised(InternalError({}, e));
    }
    if (session && session->stale && name != QLatin1String("CRV.rdmHost.Logout")) {
        try {
            m_store.transaction([&](QSqlDatabase& db) { Sessions::Touch(db, *session, now); });
        } catch (const EHostError& e) {
            qWarning("ore-server: o último uso da sessão de %s não foi registrado: %s", qPrintable(session->operatorCode), qPrintable(e.message()));
        }
        m_sessions.Changed(session->tokenHash);
    }
    // A logout or a supervisor's word changed the session: this server forgets it at once,
    // without waiting for the store's notification.
    if (session && rule.changesSession)
        m_sessions.Changed(session->tokenHash);
    return reply;
}

bool TServerObjects::isLive(const QString& token, const QDateTime& now)
{
    if (token.isEmpty())
        return false;
    bool live = false;
    m_store.readTransaction([&](QSqlDatabase& db) { live = findSession(db, token, now, true).has_value(); });
    return live;
}

TRpcReply TServerObjects::unknownMethod(const TRpcRequest& request, const TMethodDeclaration* named, const QDateTime& now)
{
    // Which methods exist is told to a session only, so that they cannot be listed without a
    // login (Login is public anyway).
    if (!(named && IsLogin(named->name()))) {
        bool live = false;
        try {
            live = isLive(request.token, now);
        } catch (const EStoreUnavailable& e) {
            return TRpcReply::Error(InternalError(QStringLiteral("Banco de dados indisponível; tente novamente."), e));
        } catch (const std::exception& e) {
            return TRpcReply::Error(InternalError({}, e));
        }
        if (!live) {
            m_refusals.Count(request.peer, request.object, request.method, QString::fromUtf8(kSessionInvalid), now);
            return TRpcReply::Error(QString::fromUtf8(kSessionInvalid), 401);
        }
    }
    if (named)
        return TRpcReply::Error(QStringLiteral("%1 recebe %2 argumento(s) e recebeu %3.").arg(named->name()).arg(named->argumentCount).arg(request.params.size()));
    const bool objectKnown = std::any_of(m_methods.begin(), m_methods.end(), [&](const auto& m) {
        return m.first.startsWith(request.object + QLatin1Char('.'));
    });
    return TRpcReply::Error(objectKnown ? QStringLiteral("Método desconhecido: %1.%2").arg(request.object, request.method)
                                        : QStringLiteral("Objeto de servidor desconhecido: %1").arg(request.object));
}

void TServerObjects::JournalRefusals(bool all)
{
    for (const TJournalEntry& entry : m_refusals.Take(QDateTime::currentDateTime().addSecs(m_clockAhead.load(std::memory_order_relaxed)), all))
        journalAlone(entry);
}

std::unique_ptr<TRpcServer> TServerObjects::Serve(TRpcServerOptions options)
{
    // What runs after an answer has no caller to tell: a failure there is logged and the
    // server goes on (the thread's next call finds its connection as it is).
    options.afterAnswer = [this] {
        try {
            m_store.settle();
        } catch (const std::exception& e) {
            qWarning("ore-server: depois de uma resposta: %s", e.what());
        } catch (...) {
            qWarning("ore-server: depois de uma resposta: uma falha desconhecida");
        }
    };
    // Asked on a worker, before a body longer than a caller without a session may send is read.
    if (!options.sessionIsLive)
        options.sessionIsLive = [this](const TRpcRequest& head, qint64 bodyBytes) {
            const QDateTime now = QDateTime::currentDateTime().addSecs(m_clockAhead.load(std::memory_order_relaxed));
            const bool live = isLive(head.token, now);
            try {
                m_store.settle();
            } catch (const std::exception& e) {
                qWarning("ore-server: depois de verificar uma sessão: %s", e.what());
            }
            if (!live)
                m_refusals.Count(head.peer, head.object, {}, QStringLiteral("corpo de %1 bytes sem uma sessão válida").arg(bodyBytes), now);
            return live;
        };
    if (!options.housekeeping)
        options.housekeeping = [this] { JournalRefusals(); };
    return std::make_unique<TRpcServer>([this](const TRpcRequest& request) { return Dispatch(request); }, std::move(options));
}

void KeepMemoryBetweenCalls()
{
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    mallopt(M_MMAP_THRESHOLD, 16 << 20);
}

QString Stamp(const QDateTime& moment) { return moment.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")); }
QString Now() { return Stamp(QDateTime::currentDateTime()); }

QString NextNumber(QSqlDatabase& db, const QString& counter, int width)
{
    // One statement: the counter's row is created at its first use or moved on, and locked
    // until the transaction ends, so two first uses cannot both create it.
    const int number = Scalar(db, QStringLiteral("INSERT INTO NUMERADOR (NMCHAVE, NRULTIMO) VALUES (?, 1) "
                                                 "ON CONFLICT (NMCHAVE) DO UPDATE SET NRULTIMO = NUMERADOR.NRULTIMO + 1 RETURNING NRULTIMO"),
                              {counter})
                           .toInt();
    return QString::number(number).rightJustified(width, QLatin1Char('0'));
}

bool Truthy(const QVariant& v)
{
    if (v.metaType().id() == QMetaType::Bool)
        return v.toBool();
    const QString t = v.toString().trimmed().toUpper();
    return t == QLatin1String("S") || t == QLatin1String("1") || t == QLatin1String("TRUE");
}

void RegisterAll(TServerObjects& objects)
{
    RegisterHost(objects);
    RegisterQuote(objects);
    RegisterApproval(objects);
    RegisterClosing(objects);
    RegisterExecution(objects);
    RegisterScreens(objects);
    RegisterReadiness(objects);
}
