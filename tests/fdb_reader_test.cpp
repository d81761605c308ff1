// The application database: results, table contents and lookups.

#include "appdb/fdb_reader.h"
#include "model/trace_model.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>

namespace {

struct Fdb {
    int result;
    TNameTable sections, files;
};

Fdb readFdb(const std::string& text) {
    static int n = 0;
    TempFile f(std::filesystem::temp_directory_path().string() + "/zlv_fdb_" +
                   std::to_string(getpid()) + "_" + std::to_string(n++) + ".fdb",
               text);
    Fdb out;
    out.result = loadFdb(out.sections, out.files, f.path());
    return out;
}

} // namespace

TEST(FdbReader, MissingAndEmptyFiles) {
    TNameTable s, f;
    EXPECT_EQ(loadFdb(s, f, "/nonexistent/x.fdb"), kFdbCantOpen);
    EXPECT_EQ(sectName(s, 0), "ZLVR_MAIN_SECT");
    EXPECT_EQ(sectName(s, 5), "Unknown (5)");
    EXPECT_EQ(sectName(s, 4294967295u), "Unknown (4294967295)");
    EXPECT_EQ(fileName(f, 0), "Unknown");

    const Fdb empty = readFdb("");
    EXPECT_EQ(empty.result, kFdbOk);
    EXPECT_EQ(empty.sections.size(), 1u);
}

TEST(FdbReader, HeadersSelectTables) {
    const Fdb d = readFdb("[FiLeS]\n5:main.c\n[sections\n0:whole\n2:  solve  trailing words\n"
                          "[files]junk\n1:util.c");
    EXPECT_EQ(d.result, kFdbOk);
    EXPECT_EQ(d.files.size(), 6u);
    EXPECT_EQ(fileName(d.files, 5), "main.c");
    EXPECT_EQ(fileName(d.files, 1), "util.c"); // last line without newline
    EXPECT_EQ(fileName(d.files, 3), "");       // unnamed slot below the size
    EXPECT_EQ(fileName(d.files, 6), "Unknown");
    EXPECT_EQ(sectName(d.sections, 0), "whole"); // replaces the main section's name
    EXPECT_EQ(sectName(d.sections, 2), "solve");
    EXPECT_EQ(sectName(d.sections, 1), "");
}

TEST(FdbReader, FormatErrorsKeepEarlierEntries) {
    EXPECT_EQ(readFdb("[filesx]\n").result, kFdbBadLine);
    EXPECT_EQ(readFdb("[]\n").result, kFdbBadLine);
    EXPECT_EQ(readFdb("[1]\n").result, kFdbBadLine);
    EXPECT_EQ(readFdb("[files]\nname\n").result, kFdbBadLine);
    EXPECT_EQ(readFdb("[files]\n5:\n").result, kFdbBadEntry);
    EXPECT_EQ(readFdb("[files]\n5 main.c\n").result, kFdbBadEntry);
    EXPECT_EQ(readFdb("[files]\n5 :main.c\n").result, kFdbBadEntry);
    EXPECT_EQ(readFdb("1:main.c\n").result, kFdbBadEntry);

    std::string text = "[files]\n";
    for (int i = 0; i < 8; ++i) text += std::to_string(i) + ":f" + std::to_string(i) + "\n";
    text += "oops\n9:late.c\n";
    const Fdb d = readFdb(text);
    EXPECT_EQ(d.result, kFdbBadLine);
    EXPECT_EQ(fileName(d.files, 7), "f7");
    EXPECT_EQ(fileName(d.files, 9), "Unknown");
}

// Huge identifiers and long names in bulk: hostile_input_test.
TEST(FdbReader, OverlongLineIsCutAndItsRestIsAFormatError) {
    const std::string longName(3000, 'x'); // read as a 2047-character line, then the rest
    const Fdb d = readFdb("[files]\n4000000000:" + longName + "\n");
    EXPECT_EQ(d.result, kFdbBadLine);
    EXPECT_EQ(fileName(d.files, 4000000000u).size(), 2047u - 11u);
}
