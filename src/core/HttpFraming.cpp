#include "HttpFraming.h"

namespace Http {
namespace {

constexpr char HeadEnd[] = "\r\n\r\n";
constexpr qsizetype HeadEndSize = 4;

const char* reasonOf(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 411: return "Length Required";
    case 413: return "Payload Too Large";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    default: return "Error";
    }
}

} // namespace

qsizetype HeadSize(const QByteArray& buffer)
{
    const qsizetype end = buffer.indexOf(HeadEnd);
    return end < 0 ? 0 : end + HeadEndSize;
}

std::optional<int> Head::status() const
{
    if (startLine.size() < 2 || !startLine[0].startsWith("HTTP/1."))
        return std::nullopt;
    return startLine[1].toInt();
}

QByteArray Head::method() const { return startLine.size() < 3 ? QByteArray() : startLine[0]; }
QByteArray Head::target() const { return startLine.size() < 3 ? QByteArray() : startLine[1]; }

Head ParseHead(const QByteArray& head)
{
    Head h;
    const QList<QByteArray> lines = head.split('\n');
    h.startLine = lines.value(0).trimmed().split(' ');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        Field field{line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()};
        if (field.name == "content-length") {
            // Two lengths that differ leave the body's end in doubt: the message is refused.
            bool ok = false;
            const qint64 length = field.value.toLongLong(&ok);
            if (!ok || length < 0 || (h.contentLength >= 0 && length != h.contentLength))
                h.badLength = true;
            else
                h.contentLength = length;
        } else if (field.name == "transfer-encoding") {
            h.chunked = h.chunked || field.value.toLower().contains("chunked");
        } else if (field.name == "connection") {
            h.close = h.close || field.value.toLower() == "close";
        }
        h.fields.append(std::move(field));
    }
    return h;
}

QByteArray Request(const QByteArray& target, const QByteArray& host, const QList<Field>& fields, const QByteArray& body)
{
    QByteArray r;
    r.reserve(body.size() + 320);
    r += "POST " + target + " HTTP/1.1\r\nHost: " + host + "\r\nContent-Type: application/json\r\nConnection: keep-alive";
    for (const Field& field : fields)
        r += "\r\n" + field.name + ": " + field.value;
    r += "\r\nContent-Length: " + QByteArray::number(body.size()) + HeadEnd;
    r += body;
    return r;
}

QByteArray Response(int status, const QByteArray& body, bool keepAlive)
{
    QByteArray r;
    r.reserve(body.size() + 160);
    r += "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonOf(status) + "\r\nContent-Type: application/json\r\nContent-Length: "
         + QByteArray::number(body.size());
    if (status == 401)
        r += "\r\nWWW-Authenticate: Bearer";
    r += keepAlive ? "\r\nConnection: keep-alive\r\n\r\n" : "\r\nConnection: close\r\n\r\n";
    r += body;
    return r;
}

ChunkedBody::Progress ChunkedBody::read(const QByteArray& bytes, qint64 maxBytes)
{
    for (;;) {
        const qsizetype lineEnd = bytes.indexOf("\r\n", m_next);
        if (lineEnd < 0)
            return More;
        bool ok = false;
        const qint64 size = bytes.mid(m_next, lineEnd - m_next).split(';').value(0).trimmed().toLongLong(&ok, 16);
        if (!ok || size < 0 || m_content.size() + size > maxBytes)
            return Malformed;
        if (size == 0)
            return Done;
        const qsizetype data = lineEnd + 2;
        const qsizetype length = static_cast<qsizetype>(size);
        if (bytes.size() < data + length + 2)
            return More;
        m_content += bytes.mid(data, length);
        m_next = data + length + 2;
    }
}

} // namespace Http
