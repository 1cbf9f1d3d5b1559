#pragma once
// A CardDAV server inside the test process, only for the faults real servers will not produce: a
// listing emptied of every card, a redirect to another host, an answer that trickles, one that stops
// half-way (silent, or the connection closed), whatever cards a test puts in (3,000 with one UID, a
// picture of 37 MB). It serves one address book, /book/, from memory, on 127.0.0.1 and on 127.0.0.2
// ("another host": both are the loopback), and records every request with the host it reached and
// the credentials it carried. It lives in the test's thread: the sync's client waits for its answers
// in an event loop of its own, which serves this server too.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QUrl>
#include <memory>

class QTcpSocket;

class HostileServer : public QObject {
    Q_OBJECT
public:
    HostileServer();
    ~HostileServer() override;

    bool listening() const;
    QString user() const { return QStringLiteral("alice"); }
    QString password() const { return QStringLiteral("secret"); }
    // http://HOST:PORT/ with HOST 127.0.0.1 (the host the user types) or 127.0.0.2 (another host).
    QUrl base(bool otherHost = false) const;
    QUrl addressBook(bool otherHost = false) const; // base + /book/

    // The address book: a card's name ("a.vcf") -> its text. Its ETag follows from its bytes.
    QMap<QString, QByteArray> cards;

    enum class Fault {
        None,
        EmptyListing, // the listing names no card, though every card is still there
        Trickle,      // the whole answer one byte at a time, trickleMs apart
        Silent,       // the head and half the body, then nothing, the connection left open
        Cut,          // the head and half the body, then the connection closed
    };
    // Which requests misbehave: "LIST" (the PROPFIND of the cards), "MULTIGET", "DISCOVER" (a
    // PROPFIND of depth 0), "PUT", "GET", "DELETE".
    QHash<QByteArray, Fault> faults;
    int trickleMs = 200;
    // Answers a request for this path (on either host) with 301 to `to`.
    QHash<QString, QUrl> redirects;
    // The principal's address-book home, as the discovery from "/" finds it (an absolute URL may name
    // another host); the address book itself when empty.
    QUrl home;

    struct Request {
        QByteArray verb;
        QString path;
        bool otherHost = false;
        QByteArray authorization;
        QByteArray body;
    };
    QList<Request> requests;
    // The requests that carried credentials to 127.0.0.2.
    int credentialsToOtherHost() const;
    QList<QByteArray> bodiesOf(const QByteArray& verb) const;

    static QByteArray etagOf(const QByteArray& card);

private:
    void accept(QTcpServer* server, bool otherHost);
    void serve(QTcpSocket* socket, bool otherHost);
    void answer(QTcpSocket* socket, const Request& request, const QHash<QByteArray, QByteArray>& headers);
    void send(QTcpSocket* socket, const QByteArray& kind, int status, const QByteArray& body,
              const QList<QPair<QByteArray, QByteArray>>& headers = {});
    QByteArray listing() const;
    QByteArray multiget(const QByteArray& body) const;
    QByteArray bookProps(const QString& href) const;

    std::unique_ptr<QTcpServer> here_;
    std::unique_ptr<QTcpServer> other_;
    QHash<QTcpSocket*, QByteArray> pending_;
};
