#pragma once
// Real CardDAV servers for the sync tests: Radicale and Xandikos, started on 127.0.0.1 at a free port
// with a temporary storage folder, and killed when the object goes. Changes on the server side are
// made with plain HTTP requests, as another client would.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>
#include <memory>

class DavServer {
public:
    enum class Kind { Radicale, Xandikos };
    explicit DavServer(Kind kind);
    ~DavServer();

    // Empty when the server runs; otherwise why not (the binary is missing: the test skips).
    QString missing() const { return missing_; }
    bool start();      // (re)starts on the same port and storage; false when it did not come up
    void kill();       // SIGKILL, as a crash would
    bool running() const;

    QString user() const { return QStringLiteral("alice"); }
    QString password() const { return QStringLiteral("secret"); }
    QUrl base() const;        // http://127.0.0.1:PORT/
    QUrl addressBook() const; // the address book the tests use (created by start())

    struct Reply {
        int status = 0;
        QByteArray body;
        QByteArray etag;
    };
    // One plain HTTP request with the test user's credentials; path relative to base().
    Reply request(const QByteArray& verb, const QUrl& url, const QByteArray& body = {},
                  const QList<QPair<QByteArray, QByteArray>>& headers = {}, const QString& password = {});
    // The hrefs of the cards in the address book.
    QStringList cards();
    // The card at href, or an empty one.
    QByteArray card(const QString& href);
    Reply put(const QString& name, const QByteArray& card); // a new card, relative to the address book
    // Puts cards straight into Radicale's storage while it is stopped: setting up a large address book
    // that way takes no time, where uploading it takes Radicale minutes. Not a change under test.
    bool seed(const QList<QPair<QString, QByteArray>>& cards);
    // A card whose text contains `needle`, or empty.
    QString findCard(const QByteArray& needle);

private:
    Kind kind_;
    QTemporaryDir dir_;
    int port_ = 0;
    QString missing_;
    std::unique_ptr<QProcess> process_;
    bool created_ = false;
};
