// zinteva-savechild DATAFILE SEED TAG
//
// Opens its own connection to the data file and saves without end (at most MaxSaves), the way the
// program saves people and groups, until its parent kills it. It tells the parent on stdout, one
// line per write(2), so that no line is ever cut by the kill:
//   R <digest>          the state it found, before its first save
//   I <n> <digest>      save n starts; <digest> is the state once it is done
//   D <n>               save n is done (the store call returned)
// A save that fails is reported as "F <n> <message>" and ends the run with status 2.
#include "core/store/Store.h"
#include "support/Workload.h"

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

constexpr int MaxSaves = 100000;

void say(const QByteArray& line) {
    const QByteArray text = line + '\n';
    const char* data = text.constData();
    qsizetype left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, data, static_cast<size_t>(left));
        if (written <= 0)
            std::_Exit(3);
        data += written;
        left -= written;
    }
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: zinteva-savechild DATAFILE SEED TAG\n");
        return 64;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const quint64 seed = std::strtoull(argv[2], nullptr, 10);
    const QString tag = QString::fromLocal8Bit(argv[3]);
    try {
        auto store = Store::open(path);
        QStringList problems;
        workload::Model start = workload::read(*store, &problems);
        if (!problems.isEmpty()) {
            say("F 0 " + problems.join(QStringLiteral("; ")).toUtf8());
            return 2;
        }
        say("R " + start.digest().toLatin1());
        workload::Runner runner(std::move(start), seed, tag);
        for (int n = 1; n <= MaxSaves; ++n) {
            workload::Model after;
            const workload::Save save = runner.next(&after);
            say(QByteArray("I ") + QByteArray::number(n) + ' ' + after.digest().toLatin1() + ' ' +
                workload::kindName(save.kind));
            runner.perform(*store, save, std::move(after));
            say(QByteArray("D ") + QByteArray::number(n));
        }
    } catch (const StoreError& e) {
        say(QByteArray("F ? ") + e.what());
        return 2;
    }
    return 0;
}
