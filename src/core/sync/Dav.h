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
    // OtherHost: a request would have taken the password to a host the user did not give (url()).
    enum class Kind { Network, Authentication, Certificate, Server, Protocol, Cancelled, OtherHost };
    DavError(Kind kind, const QString& message, int status = 0, const QUrl& url = {})
        : std::runtime_error(message.toStdString()), kind_(kind), status_(status), url_(url) {}
    Kind kind() const { return kind_; }
    int status() const { return status_; }
    QUrl url() const { return url_; }
    QString message() const { return QString::fromStdString(what()); }

private:
    Kind kind_;
    int status_;
    QUrl url_;
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
    // network failure, a refused certificate, a wrong password (401), an answer cut off or too slow;
    // other statuses are returned. `items`: how many cards the request asks for or lists, which
    // lengthens its deadline.
    // The password goes only to the host the user typed (setHome; else the host of the first
    // request) and to hosts the user allowed (allowHost), never from https down to http: a request
    // anywhere else, be it a redirect's target, a discovery's answer or an address a hostile answer
    // named, throws an OtherHost error before anything is sent.
    DavReply send(const QByteArray& verb, const QUrl& url, const QByteArray& body = {}, const Headers& headers = {},
                  int items = 0);

    // PROPFIND/REPORT with an XML body; throws unless the answer is 207 and parses.
    DavMultiStatus multiStatus(const QByteArray& verb, const QUrl& url, int depth, const QByteArray& body,
                               int items = 0);

    void setHome(const QUrl& typed);
    void allowHost(const QString& host);
    // Whether a request to url may carry the password.
    bool mayGo(const QUrl& url) const;

    // How long a request may take. A server may think for a while before its first byte (Radicale
    // takes minutes to list 10,000 cards the first time), so the whole request gets a deadline that
    // grows with the cards it names and with what arrives, and a silence is allowed up to idleMs;
    // a server that trickles its answer meets the deadline. Tests shorten them.
    struct Deadlines {
        int requestMs = 60000;
        int perItemMs = 30;
        int bytesPerMs = 64; // an answer that flows at this rate or faster is never too slow
        int idleMs = 180000;
    };
    Deadlines deadlines;
    static DavMultiStatus parseMultiStatus(const QByteArray& xml);

    int requestCount() const { return requests_; }
    QHash<QByteArray, int> requestsByVerb() const { return byVerb_; }
    // The SHA-256 of the certificate last refused, for the user to trust explicitly.
    QString refusedFingerprint() const { return refusedFingerprint_; }
    // Called between requests; returning true stops the work with a Cancelled error.
    std::function<bool()> cancelled;

    static constexpr qint64 MaxBody = 64 * 1024 * 1024;

private:
    std::unique_ptr<QNetworkAccessManager> network_;
    QByteArray authorization_;
    QString trusted_;
    QString refusedFingerprint_;
    QUrl home_;           // the server the user typed
    QStringList allowed_; // other hosts the user allowed
    int requests_ = 0;
    QHash<QByteArray, int> byVerb_;
};

// The text of an HTTP status for a message ("服务器回答 500").
QString davStatusText(int status);
