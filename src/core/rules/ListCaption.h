#pragma once
// The line over the contact list: what its rows are and how many of them there are, so that the
// list never shows people without saying whose they are ("同事 · 56 人", "查询结果 · 3 人").
#include "core/rules/DirectorySession.h"

#include <QString>
#include <optional>

// The days of a birthday reminder's statement (0: today only); nothing for any other query.
std::optional<int> reminderDaysOf(const Query& query);

// `listed`: what the rows are (DirectorySession::Listed); `nodeName`: the tree node's name when
// they are a node's people; `fillRows`: the rows of the fill; `shownRows`: those the filter line
// leaves (the same number when it narrows nothing).
QString listCaption(const ListShows& listed, const QString& nodeName, int fillRows, int shownRows);
