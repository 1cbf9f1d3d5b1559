#include "support/DavServer.h"

#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QXmlStreamReader>
#include <csignal>
#include <sys/prctl.h>

namespace {

int freePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0))
        return 0;
    return probe.serverPort();
}

bool accepting(int port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QStringLiteral("127.0.0.1")), static_cast<quint16>(port));
    return socket.waitForConnected(200);
}

} // namespace

DavServer::DavServer(Kind kind) : kind_(kind) {
    const QString binary = kind == Kind::Radicale ? QStringLiteral("radicale") : QStringLiteral("xandikos");
    if (QStandardPaths::findExecutable(binary).isEmpty()) {
        missing_ = binary + QStringLiteral(" is not installed (Debian package ") + binary + u')';
        return;
    }
    port_ = freePort();
    if (kind == Kind::Radicale) {
        QFile users(dir_.filePath(QStringLiteral("users")));
        users.open(QIODevice::WriteOnly);
        users.write("alice:secret\n");
        QFile config(dir_.filePath(QStringLiteral("config")));
        config.open(QIODevice::WriteOnly);
        config.write(QStringLiteral("[server]\nhosts = 127.0.0.1:%1\n[auth]\ntype = htpasswd\nhtpasswd_filename = %2\n"
                                    "htpasswd_encryption = plain\ndelay = 0\n[rights]\ntype = owner_only\n"
                                    "[storage]\nfilesystem_folder = %3\n[logging]\nlevel = warning\n")
                         .arg(port_)
                         .arg(dir_.filePath(QStringLiteral("users")), dir_.filePath(QStringLiteral("storage")))
                         .toUtf8());
    }
    if (!start())
        missing_ = binary + QStringLiteral(" did not start");
}

DavServer::~DavServer() {
    kill();
}

bool DavServer::running() const {
    return process_ && process_->state() == QProcess::Running;
}

void DavServer::kill() {
    if (process_) {
        process_->kill();
        process_->waitForFinished(10000);
        process_.reset();
    }
}

bool DavServer::start() {
    kill();
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The server dies with the test, even when the test itself is killed.
    process_->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    if (kind_ == Kind::Radicale) {
        process_->start(QStringLiteral("radicale"), {QStringLiteral("--config"), dir_.filePath(QStringLiteral("config"))});
    } else {
        process_->start(QStringLiteral("xandikos"),
                        {QStringLiteral("-d"), dir_.filePath(QStringLiteral("storage")), QStringLiteral("--defaults"),
                         QStringLiteral("-l"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                         QString::number(port_), QStringLiteral("--current-user-principal"),
                         QStringLiteral("/alice/")});
    }
    if (!process_->waitForStarted(10000))
        return false;
    bool up = false;
    for (int i = 0; i < 150 && !up && running(); ++i) { // at most about 30 s
        up = accepting(port_);
        if (!up)
            QThread::msleep(100);
    }
    if (!up)
        return false;
    if (kind_ == Kind::Radicale && !created_) {
        const QByteArray mkcol =
            "<?xml version=\"1.0\" encoding=\"utf-8\"?><d:mkcol xmlns:d=\"DAV:\" "
            "xmlns:c=\"urn:ietf:params:xml:ns:carddav\"><d:set><d:prop><d:resourcetype><d:collection/>"
            "<c:addressbook/></d:resourcetype><d:displayname>联系人</d:displayname></d:prop></d:set></d:mkcol>";
        request("PROPFIND", base().resolved(QUrl(QStringLiteral("/alice/"))), {}, {{"Depth", "0"}});
        const Reply made = request("MKCOL", addressBook(), mkcol);
        if (made.status != 201)
            return false;
    }
    created_ = true;
    return true;
}

QUrl DavServer::base() const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port_));
}

QUrl DavServer::addressBook() const {
    return base().resolved(QUrl(kind_ == Kind::Radicale ? QStringLiteral("/alice/contacts/")
                                                        : QStringLiteral("/alice/contacts/addressbook/")));
}

DavServer::Reply DavServer::request(const QByteArray& verb, const QUrl& url, const QByteArray& body,
                                    const QList<QPair<QByteArray, QByteArray>>& headers, const QString& password) {
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    // A whole address book in one PUT takes Radicale a while on a loaded machine.
    request.setTransferTimeout(240000);
    request.setRawHeader("Authorization",
                         "Basic " + (user() + u':' + (password.isEmpty() ? this->password() : password)).toUtf8().toBase64());
    if (!body.isEmpty())
        request.setRawHeader("Content-Type", verb == "PUT" ? "text/vcard" : "application/xml; charset=utf-8");
    for (const auto& h : headers)
        request.setRawHeader(h.first, h.second);
    QNetworkReply* reply = network.sendCustomRequest(request, verb, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    Reply out;
    out.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    out.body = reply->readAll();
    out.etag = reply->rawHeader("ETag");
    delete reply;
    return out;
}

QStringList DavServer::cards() {
    const Reply reply = request("PROPFIND", addressBook(),
                                "<?xml version=\"1.0\"?><d:propfind xmlns:d=\"DAV:\"><d:prop><d:getetag/></d:prop>"
                                "</d:propfind>",
                                {{"Depth", "1"}});
    QStringList hrefs;
    QXmlStreamReader xml(reply.body);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"href") {
            const QString href = xml.readElementText();
            if (href.endsWith(QStringLiteral(".vcf")))
                hrefs.append(href);
        }
    }
    return hrefs;
}

QByteArray DavServer::card(const QString& href) {
    const Reply reply = request("GET", addressBook().resolved(QUrl(href)));
    return reply.status == 200 ? reply.body : QByteArray();
}

DavServer::Reply DavServer::put(const QString& name, const QByteArray& card) {
    return request("PUT", addressBook().resolved(QUrl(name)), card);
}

QString DavServer::findCard(const QByteArray& needle) {
    for (const QString& href : cards()) {
        if (card(href).contains(needle))
            return href;
    }
    return {};
}

bool DavServer::seed(const QList<QPair<QString, QByteArray>>& cards) {
    if (kind_ != Kind::Radicale)
        return false;
    kill();
    const QString folder = dir_.filePath(QStringLiteral("storage/collection-root/alice/contacts"));
    for (const auto& [name, bytes] : cards) {
        QFile file(folder + u'/' + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return false;
    }
    return start();
}
