#include "support/StatementCounter.h"

#include <sqlite3.h>

namespace {

StatementCounter* active = nullptr;

int traced(unsigned type, void*, void*, void* text) {
    if (type == SQLITE_TRACE_STMT && active && text)
        active->record(static_cast<const char*>(text));
    return 0;
}

int traceConnection(sqlite3* db, const char**, const struct sqlite3_api_routines*) {
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT, traced, nullptr);
    return SQLITE_OK;
}

using Entry = void (*)();

} // namespace

StatementCounter::StatementCounter() {
    active = this;
    sqlite3_auto_extension(reinterpret_cast<Entry>(traceConnection));
}

StatementCounter::~StatementCounter() {
    sqlite3_cancel_auto_extension(reinterpret_cast<Entry>(traceConnection));
    active = nullptr;
}

void StatementCounter::record(const char* text) {
    const std::lock_guard<std::mutex> lock(mutex_);
    texts_.append(QByteArray(text));
}

int StatementCounter::count(const QByteArray& prefix) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const QByteArray& text : texts_)
        n += text.trimmed().toLower().startsWith(prefix.toLower()) ? 1 : 0;
    return n;
}
