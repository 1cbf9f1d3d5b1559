#include "gui/reminder/Reminder.h"

#include "gui/list/ContactList.h"
#include "core/rules/NextBirthdays.h"
#include "core/text/Clock.h"
#include "core/app/Messages.h"
#include "core/store/Sql.h"
#include "core/store/Store.h"

Query reminderQuery(const QDate& today, int days) {
    return {QString::fromUtf8(sql::ReminderCondition), {storedDate(today), storedDate(today.addDays(days))}};
}

QString reminderMessage(int days, int found, bool startup) {
    if (found == 0) {
        if (days == 0)
            return QStringLiteral("今天没有过生的好友！");
        if (!startup)
            return QStringLiteral("最近 %1 天内没有过生的好友！").arg(days);
        return {};
    }
    if (days == 0)
        return QStringLiteral("今天有 %1 位过生日的好友").arg(found);
    return QStringLiteral("最近 %1 天有 %2 位过生日的好友").arg(days).arg(found);
}

void ShowBirthdayReminder(MainView& view, const std::function<void()>& beforeMessage) {
    AppState& state = view.state;
    state.QuerySql = reminderQuery(state.env.clock->today(), state.RemindDays);
    RowTable rows;
    state.Conn->listQuery(state.QuerySql, rows); // a failure here is the caller's to report
    const int found = rows.rowCount();
    if (found > 0)
        showRows(view, std::move(rows), 3);
    if (beforeMessage)
        beforeMessage();
    const QString text = reminderMessage(state.RemindDays, found, state.StartupRemind);
    if (text.isEmpty())
        return;
    state.env.dialogs->show(view.window, found > 0 ? msg::info(text) : msg::plain(text));
}

void RunBirthdayReminder(MainView& view, const std::function<void()>& beforeMessage) {
    bool settled = false;
    auto settle = [&] {
        if (beforeMessage && !settled)
            beforeMessage();
        settled = true;
    };
    try {
        ComputeNextBirthdays(*view.state.Conn, view.state.env.clock->today(), view.state.RemindDays);
        ShowBirthdayReminder(view, settle);
    } catch (const StoreError& e) {
        settle();
        view.state.env.dialogs->show(view.window, msg::warning(QStringLiteral("生日提醒失败: ") + e.message()));
    }
}
