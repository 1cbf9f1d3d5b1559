#include "core/rules/GroupMove.h"

#include "core/text/Keys.h"

#include <algorithm>

bool moveWouldChange(const QSet<QString>& groupsOfPeople, const QString& targetKey) {
    if (!keys::isGroup(targetKey))
        return false;
    return std::any_of(groupsOfPeople.begin(), groupsOfPeople.end(),
                       [&](const QString& group) { return group != targetKey; });
}

QString deleteSeveralQuestion(int people) {
    return QStringLiteral("您真的要删除选中的 %1 个联系人吗?").arg(people);
}
