#pragma once
// A connection to one server object of the application server ("ORE06400.rdmProcOrca"),
// over JSON-RPC 2.0 on HTTP/1.1 keep-alive (docs/protocol.md).
//
// Calls block: while one waits, the window keeps painting and the wait animation moves, but
// no user input reaches the dialogs. Every call has a time limit. Transport failures raise
// ETransportError, server exceptions ERemoteError with the server's text; a failed result
// ({"$fail": ...}) is returned as it is, for CheckResultServ.

#include <QMap>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

class TNetConnection : public QObject {
    Q_OBJECT
public:
    explicit TNetConnection(QObject* parent = nullptr, const QString& name = {}, const QString& serverName = {});
    ~TNetConnection() override;

    QString Host;
    int Port = 0;
    QString ServerName;               // the server object
    int TimeoutMs = 0;                // 0: Session().callTimeoutMs
    QList<int> SecretArgs;            // arguments never reported to the transcript (passwords)

    std::function<void(TNetConnection& sender)> BeforeConnect;

    bool Connected() const { return m_connected; }
    // Connecting runs BeforeConnect; a connection left without host and port then takes the
    // session's (WebURL, WebPort). ETransportError when there is no usable address.
    void SetConnected(bool connected);

    // Calls `method` with positional arguments. `byref`, when given, receives the values the
    // server sent back for arguments passed by reference (index from 0).
    QVariant Call(const QString& method, const QVariantList& args = {}, QMap<int, QVariant>* byref = nullptr);
    // Same, writing the server's by-reference values back into `args`.
    QVariant CallRef(const QString& method, QVariantList& args);

private:
    struct Channel;
    std::unique_ptr<Channel> m_channel;
    bool m_connected = false;
    qint64 m_nextId = 1;
};
