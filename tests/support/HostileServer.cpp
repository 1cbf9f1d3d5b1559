#include "support/HostileServer.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>

namespace {

const QString Book = QStringLiteral("/book/");

QByteArray escaped(const QByteArray& text) {
    return QString::fromUtf8(text).toHtmlEscaped().toUtf8();
}

QByteArray reason(int status) {
    switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 207: return "Multi-Status";
    case 301: return "Moved Permanently";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 412: return "Precondition Failed";
    default: return "Status";
    }
}

} // namespace

HostileServer::HostileServer() : here_(std::make_unique<QTcpServer>()), other_(std::make_unique<QTcpServer>()) {
    here_->listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
    // The other host on the same port where it is free, so that only the host differs.
    if (!other_->listen(QHostAddress(QStringLiteral("127.0.0.2")), here_->serverPort()))
        other_->listen(QHostAddress(QStringLiteral("127.0.0.2")), 0);
    connect(here_.get(), &QTcpServer::newConnection, this, [this] { accept(here_.get(), false); });
    connect(other_.get(), &QTcpServer::newConnection, this, [this] { accept(other_.get(), true); });
}

HostileServer::~HostileServer() = default;

bool HostileServer::listening() const {
    return here_->isListening() && other_->isListening();
}

QUrl HostileServer::base(bool otherHost) const {
    return QUrl(QStringLiteral("http://%1:%2/")
                    .arg(otherHost ? QStringLiteral("127.0.0.2") : QStringLiteral("127.0.0.1"))
                    .arg(otherHost ? other_->serverPort() : here_->serverPort()));
}

QUrl HostileServer::addressBook(bool otherHost) const {
    return base(otherHost).resolved(QUrl(Book));
}

int HostileServer::credentialsToOtherHost() const {
    int n = 0;
    for (const Request& r : requests)
        n += r.otherHost && !r.authorization.isEmpty() ? 1 : 0;
    return n;
}

QList<QByteArray> HostileServer::bodiesOf(const QByteArray& verb) const {
    QList<QByteArray> bodies;
    for (const Request& r : requests) {
        if (r.verb == verb)
            bodies.append(r.body);
    }
    return bodies;
}

QByteArray HostileServer::etagOf(const QByteArray& card) {
    return '"' + QCryptographicHash::hash(card, QCryptographicHash::Sha1).toHex().left(16) + '"';
}

void HostileServer::accept(QTcpServer* server, bool otherHost) {
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, otherHost] { serve(socket, otherHost); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            pending_.remove(socket);
            socket->deleteLater();
        });
    }
}

void HostileServer::serve(QTcpSocket* socket, bool otherHost) {
    QByteArray& buffer = pending_[socket];
    buffer += socket->readAll();
    for (;;) {
        const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
        QHash<QByteArray, QByteArray> headers;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        const qsizetype length = headers.value("content-length").toLongLong();
        if (buffer.size() < headEnd + 4 + length)
            return;
        const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
        Request request;
        request.verb = requestLine.value(0);
        request.path = QUrl::fromPercentEncoding(QUrl(QString::fromUtf8(requestLine.value(1))).path().toUtf8());
        request.otherHost = otherHost;
        request.authorization = headers.value("authorization");
        request.body = buffer.mid(headEnd + 4, length);
        buffer.remove(0, headEnd + 4 + length);
        requests.append(request);
        answer(socket, request, headers);
    }
}

void HostileServer::answer(QTcpSocket* socket, const Request& request, const QHash<QByteArray, QByteArray>& headers) {
    if (redirects.contains(request.path))
        return send(socket, {}, 301, {}, {{"Location", redirects.value(request.path).toEncoded()}});
    const QByteArray expected = "Basic " + (user() + u':' + password()).toUtf8().toBase64();
    if (request.authorization != expected)
        return send(socket, {}, 401, {}, {{"WWW-Authenticate", "Basic realm=\"book\""}});
    const QString name = request.path.startsWith(Book) ? request.path.mid(Book.size()) : QString();
    if (request.verb == "PROPFIND" && headers.value("depth") == "0") {
        QByteArray body = "<?xml version=\"1.0\"?><d:multistatus xmlns:d=\"DAV:\" "
                          "xmlns:c=\"urn:ietf:params:xml:ns:carddav\">";
        if (request.path == Book) {
            body += bookProps(Book);
        } else {
            const QByteArray homeHref = home.isEmpty() ? Book.toUtf8() : home.toEncoded();
            body += "<d:response><d:href>" + request.path.toUtf8() +
                    "</d:href><d:propstat><d:prop><d:resourcetype><d:collection/></d:resourcetype>"
                    "<d:current-user-principal><d:href>/</d:href></d:current-user-principal>"
                    "<c:addressbook-home-set><d:href>" +
                    escaped(homeHref) +
                    "</d:href></c:addressbook-home-set></d:prop><d:status>HTTP/1.1 200 OK</d:status>"
                    "</d:propstat></d:response>";
        }
        return send(socket, "DISCOVER", 207, body + "</d:multistatus>");
    }
    if (request.verb == "PROPFIND") {
        if (request.path == Book)
            return send(socket, "LIST", 207, listing());
        // The home: it holds the address book.
        return send(socket, "DISCOVER", 207,
                    "<?xml version=\"1.0\"?><d:multistatus xmlns:d=\"DAV:\" "
                    "xmlns:c=\"urn:ietf:params:xml:ns:carddav\"><d:response><d:href>" +
                        request.path.toUtf8() +
                        "</d:href><d:propstat><d:prop><d:resourcetype><d:collection/></d:resourcetype></d:prop>"
                        "<d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>" +
                        bookProps(Book) + "</d:multistatus>");
    }
    if (request.verb == "REPORT")
        return send(socket, "MULTIGET", 207, multiget(request.body));
    if (request.verb == "GET") {
        if (!cards.contains(name))
            return send(socket, "GET", 404, {});
        return send(socket, "GET", 200, cards.value(name), {{"ETag", etagOf(cards.value(name))}});
    }
    if (request.verb == "PUT") {
        const QByteArray match = headers.value("if-match");
        if ((headers.value("if-none-match") == "*" && cards.contains(name)) ||
            (!match.isEmpty() && match != etagOf(cards.value(name))))
            return send(socket, "PUT", 412, {});
        const bool created = !cards.contains(name);
        cards.insert(name, request.body);
        return send(socket, "PUT", created ? 201 : 204, {}, {{"ETag", etagOf(request.body)}});
    }
    if (request.verb == "DELETE") {
        if (!cards.remove(name))
            return send(socket, "DELETE", 404, {});
        return send(socket, "DELETE", 204, {});
    }
    send(socket, {}, 404, {});
}

QByteArray HostileServer::bookProps(const QString& href) const {
    return "<d:response><d:href>" + href.toUtf8() +
           "</d:href><d:propstat><d:prop><d:resourcetype><d:collection/><c:addressbook/></d:resourcetype>"
           "<d:displayname>联系人</d:displayname></d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat>"
           "</d:response>";
}

QByteArray HostileServer::listing() const {
    QByteArray body = "<?xml version=\"1.0\"?><d:multistatus xmlns:d=\"DAV:\" "
                      "xmlns:c=\"urn:ietf:params:xml:ns:carddav\">" +
                      bookProps(Book);
    if (faults.value("LIST") == Fault::EmptyListing)
        return body + "</d:multistatus>";
    for (auto it = cards.cbegin(); it != cards.cend(); ++it)
        body += "<d:response><d:href>" + (Book + it.key()).toUtf8() +
                "</d:href><d:propstat><d:prop><d:resourcetype/><d:getetag>" + escaped(etagOf(it.value())) +
                "</d:getetag></d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>";
    return body + "</d:multistatus>";
}

QByteArray HostileServer::multiget(const QByteArray& request) const {
    QByteArray body = "<?xml version=\"1.0\"?><d:multistatus xmlns:d=\"DAV:\" "
                      "xmlns:c=\"urn:ietf:params:xml:ns:carddav\">";
    static const QRegularExpression Href(QStringLiteral("<d:href>([^<]*)</d:href>"));
    for (auto match = Href.globalMatch(QString::fromUtf8(request)); match.hasNext();) {
        const QString href = match.next().captured(1);
        const QString name = QUrl::fromPercentEncoding(href.toUtf8()).mid(Book.size());
        if (!cards.contains(name)) {
            body += "<d:response><d:href>" + href.toUtf8() + "</d:href><d:status>HTTP/1.1 404 Not Found</d:status>"
                    "</d:response>";
            continue;
        }
        const QByteArray& card = cards.value(name);
        body += "<d:response><d:href>" + href.toUtf8() + "</d:href><d:propstat><d:prop><d:getetag>" +
                escaped(etagOf(card)) + "</d:getetag><c:address-data>" + escaped(card) +
                "</c:address-data></d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>";
    }
    return body + "</d:multistatus>";
}

void HostileServer::send(QTcpSocket* socket, const QByteArray& kind, int status, const QByteArray& body,
                         const QList<QPair<QByteArray, QByteArray>>& headers) {
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
    if (status == 207)
        head += "Content-Type: application/xml; charset=utf-8\r\n";
    for (const auto& [name, value] : headers)
        head += name + ": " + value + "\r\n";
    head += "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n";
    const Fault fault = kind.isEmpty() ? Fault::None : faults.value(kind);
    switch (fault) {
    case Fault::None:
    case Fault::EmptyListing:
        socket->write(head + body);
        socket->disconnectFromHost();
        return;
    case Fault::Silent:
        socket->write(head + body.left(body.size() / 2));
        return;
    case Fault::Cut:
        socket->write(head + body.left(body.size() / 2));
        socket->flush();
        socket->disconnectFromHost();
        return;
    case Fault::Trickle: {
        auto* timer = new QTimer(socket);
        auto rest = std::make_shared<QByteArray>(head + body);
        connect(timer, &QTimer::timeout, socket, [socket, timer, rest] {
            if (rest->isEmpty()) {
                timer->stop();
                socket->disconnectFromHost();
                return;
            }
            socket->write(rest->left(1));
            rest->remove(0, 1);
        });
        timer->start(trickleMs);
        return;
    }
    }
}
