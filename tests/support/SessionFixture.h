#pragma once
// A directory session without a window on a fresh data file in a temporary folder, today fixed at
// 2025-03-10: two groups, 同学 (张三, 李四) and 朋友 (王五). A test class derives from it and calls
// setUp() in its init() and tearDown() in its cleanup().
#include "core/rules/DirectorySession.h"
#include "core/store/ContactFields.h"
#include "core/text/Clock.h"

#include <QTemporaryDir>
#include <memory>
#include <optional>

// One person of a group, with what a test needs of them.
ContactFields person(const QString& group, const QString& name, const QString& mobile = {},
                     std::optional<QDate> birthday = {});

class SessionFixture {
protected:
    QTemporaryDir dir;
    FixedClock clock{QDate(2025, 3, 10)};
    std::unique_ptr<DirectorySession> session;
    QString classmates, friends, zhang, li, wang;

    QString dataFile() const { return dir.filePath(QStringLiteral("tavrel.mdb")); }
    // The data file afresh, today back at 2025-03-10: 张三 with the mobile given, 王五 with the
    // birthday given.
    void setUp(const QString& zhangMobile = {}, std::optional<QDate> wangBirthday = {});
    void tearDown() { session.reset(); }
};
