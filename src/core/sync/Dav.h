#pragma once
// A small WebDAV/CardDAV client: one request at a time, waited for in the calling thread (the sync's
// own worker thread, never the window's). Every answer is treated as hostile: bodies are capped, XML
// is read with a streaming reader, and every failure becomes a DavError with a Chinese message.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

class QNetworkAccessManager;

class DavError : public std::runtime_error {
public:
    enum class Kind { Network, Authentication, Certificate, Server, Protocol, Cancelled };
    DavError(Kind kind, const QString& message, int status = 0)
        : std::runtime_error(message.toStdString()), kind_(kind), status_(status) {}
    Kind kind() const { return kind_; }
    int status() const { return status_; }
    QString message() const { return QString::fromStdString(what()); }

private:
    Kind kind_;
    int status_;
};

// One property of a response: its text, the hrefs inside it, and the names of the elements inside it
// (resourcetype's "addressbook", supported-report-set's "sync-collection").
struct DavProp {
    QString text;
    QStringList hrefs;
    QStringList elements;
};

struct DavResponse {
    QString href;    // as the server wrote it, percent-encoded path
    int status = 0;  // the response's own status (sync-collection's 404 for a removed member), else 0
    QHash<QString, DavProp> props; // local name -> property, from the propstats whose status is 200
};

struct DavMultiStatus {
    std::vector<DavResponse> responses;
    QString syncToken;
};

struct DavReply {
    int status = 0;
    QByteArray body;
    QByteArray etag;
    QUrl location; // a redirect's target, resolved
};

class DavClient {
public:
    // trustedFingerprint: the SHA-256 of a certificate the user chose to trust (hex), or empty.
    DavClient(const QString& user, const QString& password, const QString& trustedFingerprint = {});
    ~DavClient();

    using Headers = QList<QPair<QByteArray, QByteArray>>;
    // Sends one request and waits for its answer. Redirects are not followed. Throws DavError for a
    // network failure, a refused certificate or a wrong password (401); other statuses are returned.
    // The password goes only to the server of the first request and to servers its redirects name
    // (never from https down to http): a request anywhere else, say to an address a hostile answer
    // named, throws before anything is sent.
    DavReply send(const QByteArray& verb, const QUrl& url, const QByteArray& body = {}, const Headers& headers = {});

    // PROPFIND/REPORT with an XML body; throws unless the answer is 207 and parses.
    DavMultiStatus multiStatus(const QByteArray& verb, const QUrl& url, int depth, const QByteArray& body);
    static DavMultiStatus parseMultiStatus(const QByteArray& xml);

    int requestCount() const { return requests_; }
    QHash<QByteArray, int> requestsByVerb() const { return byVerb_; }
    // The SHA-256 of the certificate last refused, for the user to trust explicitly.
    QString refusedFingerprint() const { return refusedFingerprint_; }
    // Called between requests; returning true stops the work with a Cancelled error.
    std::function<bool()> cancelled;

    static constexpr qint64 MaxBody = 64 * 1024 * 1024;
    // Without a byte for this long a request fails. Long, because a server may think for a while
    // before its first byte: Radicale takes most of a minute to list 5,000 cards for the first time.
    static constexpr int TimeoutMs = 180000;

private:
    std::unique_ptr<QNetworkAccessManager> network_;
    QByteArray authorization_;
    QString trusted_;
    QString refusedFingerprint_;
    QStringList origins_; // "https://host:port" the password may go to
    int requests_ = 0;
    QHash<QByteArray, int> byVerb_;
};

// The text of an HTTP status for a message ("服务器回答 500").
QString davStatusText(int status);
