#include "tests/test_support.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace {

std::string uniqueBase() {
    static std::atomic<int> counter{0};
    const auto dir = std::filesystem::temp_directory_path() / "zlv-tests";
    std::filesystem::create_directories(dir);
    return (dir / ("t" + std::to_string(getpid()) + "_" + std::to_string(counter++))).string();
}

} // namespace

TempFile::TempFile(const std::string& name, const std::string& contents) : path_(name) {
    saveText(path_, contents);
}

TempFile::~TempFile() {
    std::remove(path_.c_str());
}

LoadedTrace loadBytes(const std::string& bytes, const std::string* fdb) {
    const std::string base = uniqueBase();
    TempFile zlv(base + ".zlv", bytes);
    std::unique_ptr<TempFile> db;
    if (fdb) db = std::make_unique<TempFile>(base + ".fdb", *fdb);
    std::ostringstream errors, messages;
    LoadedTrace out;
    out.trace = std::make_unique<TTrace>(zlv.path(), messages, errors);
    out.errors = errors.str();
    out.dbMessages = messages.str();
    return out;
}
