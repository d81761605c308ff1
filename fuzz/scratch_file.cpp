#include "fuzz/scratch_file.h"

#include "fuzz/fuzz_check.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>
#include <unistd.h>

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

class ScratchDir {
  public:
    ScratchDir() {
        // Memory-backed when available: the fuzzers write a file per input.
        std::string base = "/dev/shm";
        if (access(base.c_str(), W_OK) != 0) {
            const char* tmp = std::getenv("TMPDIR");
            base = tmp && *tmp ? tmp : "/tmp";
        }
        std::string pattern = base + "/zlv-fuzz-XXXXXX";
        FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

const ScratchDir& scratchDir() {
    static const ScratchDir dir;
    return dir;
}

} // namespace

std::string scratchPath(const std::string& name) {
    return scratchDir().path() + "/" + name;
}

std::string writeScratchFile(const std::string& name, const uint8_t* data, size_t size) {
    std::string path = scratchPath(name);
    std::unique_ptr<FILE, FileCloser> f(std::fopen(path.c_str(), "wb"));
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f.get()) == size);
    return path;
}
