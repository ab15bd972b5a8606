#pragma once
// The HTTP/1.1 framing of the protocol's calls (docs/protocol.md), on bytes alone: where a
// message's head ends and what it says (its first line, Content-Length, chunked, Connection:
// close), a call and an answer as they are written, and a chunked body gathered as it comes.
// The client (NetConnection.cpp) and the server (RpcServer.cpp) frame their messages with it;
// the limits each side sets and what it answers to a message it refuses are its own.

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <optional>

namespace Http {

// The longest head either side waits for; a longer one is refused.
inline constexpr qsizetype MaxHeadBytes = 64 * 1024;

// The size of the head at the start of `buffer`, its blank line included; 0 while the blank line
// has not come.
qsizetype HeadSize(const QByteArray& buffer);

struct Field {
    QByteArray name;
    QByteArray value;
};

// What a message's head says. Lines are read up to '\n', with the blanks around them dropped, so
// that a bare '\n' ends a line as "\r\n" does; a line without a name before its colon is passed
// over.
struct Head {
    QList<QByteArray> startLine;  // the words of the first line, split at single blanks
    QList<Field> fields;          // in order; names in lower case, values without blanks around them
    qint64 contentLength = -1;    // -1 when no Content-Length is declared
    bool badLength = false;       // a Content-Length that is no length, or two that differ
    bool chunked = false;         // Transfer-Encoding names chunked
    bool close = false;           // Connection: close

    // An answer's status: nothing when the first line is not "HTTP/1.x <code> ..."; 0 for a code
    // that is no number.
    std::optional<int> status() const;
    // A request's method and target: empty unless the first line has its three words.
    QByteArray method() const;
    QByteArray target() const;
};

// Reads a head: the bytes up to its blank line (which may be included).
Head ParseHead(const QByteArray& head);

// A call as the client writes it: POST to `target`, Host, a JSON body on a kept-alive connection,
// the further `fields` in their order, then Content-Length and the body.
QByteArray Request(const QByteArray& target, const QByteArray& host, const QList<Field>& fields, const QByteArray& body);

// An answer as the server writes it: the status with its reason phrase, a JSON body and whether
// the connection stays open. A 401 names the Bearer scheme (WWW-Authenticate).
QByteArray Response(int status, const QByteArray& body, bool keepAlive);

// A chunked body, gathered from the bytes that follow the head as they come in. Chunk extensions
// are ignored, and so are trailer fields after the last chunk.
class ChunkedBody {
public:
    enum Progress { More, Done, Malformed };

    // Reads the chunks that have come: `bytes` holds everything after the head so far, and only
    // grows between calls. A chunk size that is no hexadecimal number, and a body that would pass
    // `maxBytes`, are Malformed.
    Progress read(const QByteArray& bytes, qint64 maxBytes);
    const QByteArray& content() const { return m_content; }

private:
    qsizetype m_next = 0;   // where the next chunk's size line starts
    QByteArray m_content;
};

} // namespace Http
