#pragma once
// The one way the store runs SQL: a prepared statement that goes back to its connection for the
// next use of its text when it goes out of scope (Connection::takePrepared), refuses a text holding more than one statement, binds values (never splices them) and
// throws StoreError with SQLite's codes when a step fails. Column reads hand out views into
// SQLite's own buffer, valid until the next step.
#include "core/store/Connection.h"

#include <QString>
#include <optional>
#include <sqlite3.h>
#include <string>
#include <string_view>

class Statement {
public:
    Statement(Connection& connection, const char* text);
    Statement(Connection& connection, const std::string& text) : Statement(connection, text.c_str()) {}
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, std::string_view text);
    Statement& bind(int index, const QString& text) { return bind(index, std::string_view(text.toStdString())); }
    Statement& bind(int index, const char* text) { return bind(index, std::string_view(text)); }
    Statement& bind(int index, qint64 value);
    Statement& bindNull(int index);
    Statement& bind(int index, const std::optional<std::string_view>& text) {
        return text ? bind(index, *text) : bindNull(index);
    }

    // One step: true while there is a row to read.
    bool step();
    // Runs to the end (a write).
    void exec() {
        while (step()) {
        }
    }
    // Ready to run again with new bindings.
    void reset() { sqlite3_reset(statement_); }

    int columnCount() const { return sqlite3_column_count(statement_); }
    bool isNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }
    // Null reads as an empty view.
    std::string_view view(int column) const {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
        return bytes ? std::string_view(bytes, static_cast<size_t>(sqlite3_column_bytes(statement_, column)))
                     : std::string_view();
    }
    // Nothing for Null (SQLite hands out no text for it, and "" for an empty text).
    std::optional<std::string_view> optionalView(int column) const {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
        if (!bytes)
            return std::nullopt;
        return std::string_view(bytes, static_cast<size_t>(sqlite3_column_bytes(statement_, column)));
    }
    // Null reads as an empty text.
    QString text(int column) const {
        const std::string_view bytes = view(column);
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    qint64 integer(int column) const { return sqlite3_column_int64(statement_, column); }

private:
    Connection& connection_;
    sqlite3_stmt* statement_ = nullptr;
    std::string text_; // the text it was prepared from, to give it back to the connection
};
