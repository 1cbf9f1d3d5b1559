#pragma once
// The record of local changes that the address-book sync sends at its next run. Triggers in the data
// file write it, in the same transaction as each change, whichever program or window made it.
class Connection;

namespace changelog {
// Creates the log's tables and triggers when they are missing. Throws on failure.
void ensure(Connection& connection);
// Whether all the triggers are there as the program makes them (a file changed by a tool that
// dropped them, or one that brought triggers of these names of its own, is not).
bool complete(Connection& connection);
} // namespace changelog
