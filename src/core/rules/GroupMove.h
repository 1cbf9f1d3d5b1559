#pragma once
// Moving people to another group, as a drop on the tree and 移动到分组 offer it: a node is offered
// only where the move would change something, so that the drop highlight and the menu never
// promise what does nothing.
#include <QSet>
#include <QString>

// groupsOfPeople: the groups the people are in now (one the tree does not know adds none);
// targetKey: the node they would go to. Only a group takes people, and only when one of them is
// not in it yet.
bool moveWouldChange(const QSet<QString>& groupsOfPeople, const QString& targetKey);

// The list's one question before several people are deleted.
QString deleteSeveralQuestion(int people);
