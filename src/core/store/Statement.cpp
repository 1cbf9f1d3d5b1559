#include "core/store/Statement.h"

Statement::Statement(Connection& connection, const char* text) : connection_(connection), text_(text) {
    statement_ = connection_.takePrepared(text);
    if (statement_)
        return;
    connection_.countPrepared();
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(connection_.handle(), text, -1, &statement_, &tail);
    if (rc != SQLITE_OK)
        connection_.fail(rc);
    while (tail && (*tail == ' ' || *tail == '\n' || *tail == '\t' || *tail == ';'))
        ++tail;
    if (tail && *tail) {
        sqlite3_finalize(statement_);
        statement_ = nullptr;
        throw StoreError("more than one statement in one text: " + std::string(text));
    }
}

Statement::~Statement() {
    if (statement_)
        connection_.givePrepared(text_.c_str(), statement_);
}

Statement& Statement::bind(int index, std::string_view text) {
    const int rc =
        sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK)
        connection_.fail(rc);
    return *this;
}

Statement& Statement::bind(int index, qint64 value) {
    const int rc = sqlite3_bind_int64(statement_, index, value);
    if (rc != SQLITE_OK)
        connection_.fail(rc);
    return *this;
}

Statement& Statement::bindNull(int index) {
    const int rc = sqlite3_bind_null(statement_, index);
    if (rc != SQLITE_OK)
        connection_.fail(rc);
    return *this;
}

bool Statement::step() {
    const int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    // Read what went wrong before the reset, so that a later run of the statement starts afresh.
    const StoreError error(sqlite3_errmsg(connection_.handle()), rc, sqlite3_extended_errcode(connection_.handle()));
    sqlite3_reset(statement_);
    throw error;
}
