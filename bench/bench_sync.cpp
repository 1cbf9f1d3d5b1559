// zinteva-bench-sync: the address-book sync against a local Radicale, each run beside a plain client
// that makes the same requests (sync-collection, then addressbook-multiget in batches of 100) and
// does nothing with the cards. Usage: zinteva-bench-sync [contacts] (10,000 unless given).
#include "SyntheticDirectory.h"
#include "core/store/ContactFields.h"
#include "core/store/Store.h"
#include "core/sync/SyncEngine.h"
#include "support/DavServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <map>
#include <cstdio>

namespace {

struct Copy {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("tavrel.db"));
    std::unique_ptr<Store> store;
    Copy() {
        Store::createEmpty(path);
        store = Store::open(path);
    }
    SyncReport sync(DavServer& server, QHash<QByteArray, int>* requests = nullptr) {
        DavClient client(server.user(), server.password());
        SyncAccount account;
        account.url = server.addressBook().toString();
        account.user = server.user();
        SyncEngine engine(*store, path, client, account);
        const SyncReport report = engine.run();
        if (requests)
            *requests = client.requestsByVerb();
        return report;
    }
};

// The plain client: the same listing and multigets, the cards read into memory and dropped.
struct PlainClient {
    explicit PlainClient(DavServer& s) : server(s) {}
    DavServer& server;
    QString token;
    int requests = 0;
    qint64 bytes = 0;

    QStringList hrefs(const QByteArray& xml, QString* newToken) {
        QStringList out;
        QXmlStreamReader reader(xml);
        while (!reader.atEnd()) {
            if (reader.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (reader.name() == u"href") {
                const QString href = reader.readElementText();
                if (href.endsWith(QStringLiteral(".vcf")))
                    out.append(href);
            } else if (reader.name() == u"sync-token" && newToken) {
                *newToken = reader.readElementText();
            }
        }
        return out;
    }
    int run() {
        const QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?><d:sync-collection xmlns:d=\"DAV:\">"
                                "<d:sync-token>" +
                                token.toHtmlEscaped().toUtf8() +
                                "</d:sync-token><d:sync-level>1</d:sync-level><d:prop><d:getetag/></d:prop>"
                                "</d:sync-collection>";
        const DavServer::Reply listing = server.request("REPORT", server.addressBook(), body, {{"Depth", "0"}});
        ++requests;
        const QStringList all = hrefs(listing.body, &token);
        for (qsizetype from = 0; from < all.size(); from += 100) {
            QByteArray multiget = "<?xml version=\"1.0\" encoding=\"utf-8\"?><c:addressbook-multiget "
                                  "xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:carddav\"><d:prop><d:getetag/>"
                                  "<c:address-data/></d:prop>";
            for (qsizetype i = from; i < std::min(all.size(), from + 100); ++i)
                multiget += "<d:href>" + all[i].toHtmlEscaped().toUtf8() + "</d:href>";
            multiget += "</c:addressbook-multiget>";
            bytes += server.request("REPORT", server.addressBook(), multiget, {{"Depth", "1"}}).body.size();
            ++requests;
        }
        return static_cast<int>(all.size());
    }
};

double msSince(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;
    DavServer server(DavServer::Kind::Radicale);
    if (!server.missing().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.missing()));
        return 1;
    }
    // The server's address book: the synthetic directory's people as another client wrote them,
    // put straight into Radicale's storage (uploading 10,000 cards one by one takes it many minutes).
    {
        Copy source;
        fillSyntheticDirectory(*source.store, count);
        QList<QPair<QString, QByteArray>> cards;
        std::map<QString, QString> groups;
        for (const GroupRow& g : source.store->groups())
            groups[g.key] = g.name;
        int n = 0;
        source.store->forEachTreeContact([&](std::string_view key, std::string_view, std::string_view) {
            const QString contactKey = QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
            SyncContact contact;
            contact.fields = *source.store->loadContact(contactKey);
            contact.group = groups[contact.fields.groupKey];
            contact.fields.photo.clear();
            const QString uid = QStringLiteral("bench-%1").arg(n++);
            cards.append({uid + QStringLiteral(".vcf"), synccard::write(contact, uid, {})});
        });
        if (!server.seed(cards)) {
            std::fprintf(stderr, "could not seed the server\n");
            return 1;
        }
    }
    QElapsedTimer timer;
    QHash<QByteArray, int> requests;
    SyncReport report;
    // Radicale builds its cache on the first listing: paid here, by neither side.
    PlainClient warm(server);
    timer.start();
    warm.run();
    std::printf("server's first listing (cache build, not counted): %.0f ms\n", msSince(timer));

    Copy b;
    timer.restart();
    report = b.sync(server, &requests);
    const double first = msSince(timer);
    PlainClient plain(server);
    timer.restart();
    const int listed = plain.run();
    const double plainFirst = msSince(timer);
    std::printf("first sync, download of %d cards: zinteva %.0f ms (%d REPORT, %d transactions), plain client "
                "%.0f ms (%d requests, %d cards); ratio %.2f\n",
                report.downloaded, first, requests.value("REPORT"), report.transactions, plainFirst, plain.requests,
                listed, first / plainFirst);

    // Ten cards changed by another client.
    int changed = 0;
    for (const QString& href : server.cards()) {
        if (changed == 10)
            break;
        QByteArray card = server.card(href);
        card.replace("END:VCARD", "NOTE:changed elsewhere\r\nEND:VCARD");
        if (server.request("PUT", server.addressBook().resolved(QUrl(href)), card).status / 100 == 2)
            ++changed;
    }
    timer.restart();
    report = b.sync(server, &requests);
    const double incremental = msSince(timer);
    plain.requests = 0;
    timer.restart();
    const int plainChanged = plain.run();
    const double plainIncremental = msSince(timer);
    std::printf("incremental sync of %d changes: zinteva %.1f ms (%d downloaded, %d requests), plain client %.1f ms "
                "(%d requests, %d cards); ratio %.2f\n",
                changed, incremental, report.downloaded, [&] {
                    int n = 0;
                    for (int v : requests)
                        n += v;
                    return n;
                }(),
                plainIncremental, plain.requests, plainChanged, incremental / plainIncremental);
    return report.ok ? 0 : 1;
}
