#pragma once
// Reader of the application database (".fdb"): section and file names.

#include "appdb/name_table.h"

#include <string>

// Results of loadFdb.
constexpr int kFdbOk = 1;
constexpr int kFdbCantOpen = 0;
constexpr int kFdbBadLine = -1;
constexpr int kFdbBadEntry = -2;

constexpr const char* kMainSectionName = "ZLVR_MAIN_SECT";

// Appends the main section's name to sections, then reads path into both
// tables. Entries read before a format error stay.
int loadFdb(TNameTable& sections, TNameTable& files, const std::string& path);

// Lookups with fallbacks: "Unknown (%u)" for sections, "Unknown" for files.
std::string sectName(const TNameTable& sections, uint32_t id);
std::string fileName(const TNameTable& files, uint32_t id);
