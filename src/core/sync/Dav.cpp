#include "core/sync/Dav.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslError>
#include <QTimer>
#include <QXmlStreamReader>

namespace {
constexpr int MaxResponses = 1000000;
constexpr int MaxDepth = 64;
} // namespace

QString davStatusText(int status) {
    return QStringLiteral("服务器回答 %1").arg(status);
}

DavClient::DavClient(const QString& user, const QString& password, const QString& trustedFingerprint)
    : network_(std::make_unique<QNetworkAccessManager>()), trusted_(trustedFingerprint.toLower()) {
    if (!user.isEmpty() || !password.isEmpty())
        authorization_ = "Basic " + (user + u':' + password).toUtf8().toBase64();
    network_->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

DavClient::~DavClient() = default;

void DavClient::setHome(const QUrl& typed) {
    home_ = typed;
}

void DavClient::allowHost(const QString& host) {
    if (!host.isEmpty() && !allowed_.contains(host.toLower()))
        allowed_.append(host.toLower());
}

bool DavClient::mayGo(const QUrl& url) const {
    const QString host = url.host().toLower();
    if (host.isEmpty())
        return false;
    // Once the user gave an encrypted address, nothing goes over a plain connection.
    if (home_.scheme().toLower() == u"https" && url.scheme().toLower() != u"https")
        return false;
    return host == home_.host().toLower() || allowed_.contains(host);
}

DavReply DavClient::send(const QByteArray& verb, const QUrl& url, const QByteArray& body, const Headers& headers,
                         int items) {
    if (cancelled && cancelled())
        throw DavError(DavError::Kind::Cancelled, QStringLiteral("同步已取消"));
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != u"http" && scheme != u"https") || url.host().isEmpty())
        throw DavError(DavError::Kind::Protocol, QStringLiteral("地址无效：%1").arg(url.toDisplayString()));
    if (home_.isEmpty())
        home_ = url;
    if (!mayGo(url))
        throw DavError(DavError::Kind::OtherHost,
                       QStringLiteral("服务器把同步引向了另一台服务器 %1（您输入的是 %2），密码不会发往那里")
                           .arg(url.host(), home_.host()),
                       0, url);
    QNetworkRequest request(url);
    request.setTransferTimeout(deadlines.idleMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    if (!authorization_.isEmpty())
        request.setRawHeader("Authorization", authorization_);
    if (!body.isEmpty() || verb == "PUT")
        request.setRawHeader("Content-Type", verb == "PUT" ? "text/vcard; charset=utf-8"
                                                          : "application/xml; charset=utf-8");
    for (const auto& header : headers)
        request.setRawHeader(header.first, header.second);
    ++requests_;
    ++byVerb_[verb];

    QElapsedTimer clock;
    clock.start();
    QNetworkReply* reply = network_->sendCustomRequest(request, verb, body);
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> owner(reply, [](QNetworkReply* r) { r->deleteLater(); });
    bool tooBig = false;
    qint64 received = 0;
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [&](qint64 bytes, qint64) {
        received = bytes;
        if (bytes > MaxBody && !tooBig) {
            tooBig = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::sslErrors, reply, [&](const QList<QSslError>& errors) {
        const QSslCertificate certificate = reply->sslConfiguration().peerCertificate();
        const QString fingerprint =
            QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex());
        if (!trusted_.isEmpty() && fingerprint == trusted_) {
            reply->ignoreSslErrors(errors);
            return;
        }
        refusedFingerprint_ = fingerprint;
    });
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // A cancel (the window closing) does not wait for a slow server's answer, and no answer takes
    // longer than its deadline.
    const qint64 deadline = qint64(deadlines.requestMs) + qint64(std::max(0, items)) * deadlines.perItemMs;
    bool stopped = false;
    bool late = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, reply, [&] {
        if (stopped || late)
            return;
        if (cancelled && cancelled()) {
            stopped = true;
            reply->abort();
        } else if (clock.elapsed() > deadline + received / std::max(1, deadlines.bytesPerMs)) {
            late = true;
            reply->abort();
        }
    });
    watch.start(static_cast<int>(std::clamp<qint64>(deadline / 20, 10, 100)));
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    watch.stop();
    if (stopped)
        throw DavError(DavError::Kind::Cancelled, QStringLiteral("同步已取消"));
    if (late)
        throw DavError(DavError::Kind::Network,
                       QStringLiteral("服务器响应太慢：%1 秒内没有答完").arg((clock.elapsed() + 999) / 1000));

    if (tooBig)
        throw DavError(DavError::Kind::Protocol, QStringLiteral("服务器的回答太大"));
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() == QNetworkReply::SslHandshakeFailedError || (status == 0 && !refusedFingerprint_.isEmpty()))
        throw DavError(DavError::Kind::Certificate,
                       QStringLiteral("服务器的证书不受信任（SHA-256 指纹 %1）").arg(refusedFingerprint_));
    if (status == 0) {
        if (reply->error() == QNetworkReply::OperationCanceledError || reply->error() == QNetworkReply::TimeoutError)
            throw DavError(DavError::Kind::Network,
                           QStringLiteral("服务器响应太慢：%1 秒没有回答").arg(deadlines.idleMs / 1000));
        throw DavError(DavError::Kind::Network, QStringLiteral("无法连接服务器：%1").arg(reply->errorString()));
    }
    // An answer that began and then broke off (closed, or silent past the idle time): what came is
    // not the answer, whatever it looks like. Qt's codes below 100 are those of the connection; the
    // ones above stand for HTTP statuses, which are returned.
    if (reply->error() != QNetworkReply::NoError && reply->error() < QNetworkReply::ProxyConnectionRefusedError)
        throw DavError(DavError::Kind::Network,
                       QStringLiteral("与服务器的连接中断了，回答没有收全（%1）").arg(reply->errorString()));
    if (status == 401)
        throw DavError(DavError::Kind::Authentication, QStringLiteral("用户名或密码不对（服务器回答 401）"), 401);
    DavReply out;
    out.status = status;
    out.body = reply->readAll();
    if (out.body.size() > MaxBody)
        throw DavError(DavError::Kind::Protocol, QStringLiteral("服务器的回答太大"));
    // A connection closed right after part of the body may end without an error of Qt's: the length
    // the server announced tells (a compressed answer's length is that of the compressed bytes).
    bool announced = false;
    const qint64 length = reply->rawHeader("Content-Length").trimmed().toLongLong(&announced);
    const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
    if (announced && (encoding.isEmpty() || encoding == "identity") && out.body.size() < length)
        throw DavError(DavError::Kind::Network,
                       QStringLiteral("与服务器的连接中断了，回答没有收全（收到 %1 字节，应有 %2 字节）")
                           .arg(out.body.size())
                           .arg(length));
    out.etag = reply->rawHeader("ETag");
    const QByteArray location = reply->rawHeader("Location");
    if (!location.isEmpty())
        out.location = url.resolved(QUrl::fromEncoded(location));
    return out;
}

DavMultiStatus DavClient::multiStatus(const QByteArray& verb, const QUrl& url, int depth, const QByteArray& body,
                                      int items) {
    Headers headers;
    if (depth >= 0)
        headers.append(qMakePair(QByteArray("Depth"), QByteArray(QByteArray::number(depth))));
    const DavReply reply = send(verb, url, body, headers, items);
    if (reply.status != 207)
        throw DavError(DavError::Kind::Server, davStatusText(reply.status), reply.status);
    return parseMultiStatus(reply.body);
}

DavMultiStatus DavClient::parseMultiStatus(const QByteArray& xml) {
    DavMultiStatus out;
    QXmlStreamReader reader(xml);
    // Path of open elements' local names; the parser keeps only what it needs of each response.
    QStringList path;
    DavResponse response;
    bool inResponse = false;
    QHash<QString, DavProp> propstatProps;
    int propstatStatus = 0;
    QString currentProp; // the property (child of prop) being read
    auto statusOf = [](const QString& line) {
        // "HTTP/1.1 200 OK"
        const QStringList parts = line.simplified().split(u' ');
        return parts.size() >= 2 ? parts[1].toInt() : 0;
    };
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QString name = reader.name().toString();
            if (path.size() > MaxDepth)
                throw DavError(DavError::Kind::Protocol, QStringLiteral("服务器的回答无法读懂"));
            path.append(name);
            if (name == u"response" && path.size() == 2) {
                inResponse = true;
                response = DavResponse();
            } else if (inResponse && name == u"propstat") {
                propstatProps.clear();
                propstatStatus = 0;
            } else if (inResponse && path.size() >= 2 && path[path.size() - 2] == u"prop") {
                currentProp = name;
                propstatProps.insert(name, DavProp());
            } else if (inResponse && !currentProp.isEmpty() && name != u"href") {
                propstatProps[currentProp].elements.append(name);
            }
        } else if (token == QXmlStreamReader::Characters) {
            if (path.isEmpty())
                continue;
            const QString& name = path.last();
            const QString text = reader.text().toString();
            if (!inResponse) {
                if (name == u"sync-token" && path.size() == 2)
                    out.syncToken += text;
                continue;
            }
            if (name == u"href" && path.size() == 3) {
                response.href += text.trimmed();
            } else if (name == u"status" && path.size() == 3) {
                response.status = statusOf(text);
            } else if (name == u"status" && path.size() == 4 && path[2] == u"propstat") {
                propstatStatus = statusOf(text);
            } else if (!currentProp.isEmpty()) {
                DavProp& prop = propstatProps[currentProp];
                if (name == u"href")
                    prop.hrefs.append(text.trimmed());
                else if (name == currentProp)
                    prop.text += text;
            }
        } else if (token == QXmlStreamReader::EndElement) {
            const QString name = path.isEmpty() ? QString() : path.takeLast();
            if (inResponse && name == currentProp && path.size() >= 1 && path.last() == u"prop")
                currentProp.clear();
            else if (inResponse && name == u"propstat") {
                if (propstatStatus == 200 || propstatStatus == 0) {
                    for (auto it = propstatProps.cbegin(); it != propstatProps.cend(); ++it)
                        response.props.insert(it.key(), it.value());
                }
                propstatProps.clear();
            } else if (inResponse && name == u"response" && path.size() == 1) {
                inResponse = false;
                if (out.responses.size() >= MaxResponses)
                    throw DavError(DavError::Kind::Protocol, QStringLiteral("服务器的回答太大"));
                out.responses.push_back(std::move(response));
            }
        }
    }
    if (reader.hasError())
        throw DavError(DavError::Kind::Protocol,
                       QStringLiteral("服务器的回答无法读懂：%1").arg(reader.errorString()));
    return out;
}
