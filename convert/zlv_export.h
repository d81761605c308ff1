#pragma once
// Writes a loaded trace as a .zlv trace and its .fdb database, so that a
// trace from another format opens wherever .zlv traces do: processes in rank
// order, every call as a long record (communicator-making calls with their
// member lists), section markers, counters, and the section and file names.

#include <string>

class TTrace;

// zlvPath must end in a three-character extension; the database goes beside it.
bool exportZlv(const TTrace& trace, const std::string& zlvPath, std::string& error);

// A name as the database format can hold it: whitespace, which would end the
// name when it is read back, becomes '_'.
std::string databaseName(const std::string& name);
