#include "collect.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>
#include <vector>

namespace zlvt {

namespace {

constexpr int kPartTag = 0x5A4C;
constexpr int kChunk = 1 << 20;

// The part of another rank as it arrives in chunks; an empty chunk ends it.
class RemotePart : public ByteSource {
  public:
    RemotePart(MPI_Comm comm, int rank) : comm_(comm), rank_(rank), chunk_(kChunk) {}

    size_t read(void* dst, size_t n) override {
        auto* out = static_cast<unsigned char*>(dst);
        size_t done = 0;
        while (done < n) {
            if (pos_ == filled_ && !pull()) break;
            const size_t take = std::min(n - done, filled_ - pos_);
            std::copy_n(chunk_.data() + pos_, take, out + done);
            pos_ += take;
            done += take;
        }
        return done;
    }

    // Receives what is left, so that the next part starts in step.
    void drain() {
        while (pull()) pos_ = filled_;
    }

  private:
    bool pull() {
        if (ended_) return false;
        MPI_Status status;
        PMPI_Recv(chunk_.data(), kChunk, MPI_BYTE, rank_, kPartTag, comm_, &status);
        int count = 0;
        PMPI_Get_count(&status, MPI_BYTE, &count);
        pos_ = 0;
        filled_ = static_cast<size_t>(count);
        ended_ = count == 0;
        return !ended_;
    }

    MPI_Comm comm_;
    int rank_;
    std::vector<unsigned char> chunk_;
    size_t pos_ = 0;
    size_t filled_ = 0;
    bool ended_ = false;
};

void sendPart(MPI_Comm comm, const std::string& path, bool usable) {
    std::FILE* f = usable ? std::fopen(path.c_str(), "rb") : nullptr;
    std::vector<unsigned char> chunk(kChunk);
    size_t n = 0;
    do {
        n = f ? std::fread(chunk.data(), 1, chunk.size(), f) : 0;
        PMPI_Send(chunk.data(), static_cast<int>(n), MPI_BYTE, 0, kPartTag, comm);
    } while (n > 0);
    if (f) std::fclose(f);
}

bool mergeAtRoot(MPI_Comm comm, int size, const TraceFileNames& names, const std::string& ownPart,
                 bool ownPartUsable) {
    std::FILE* out = std::fopen(names.trace.c_str(), "wb");
    TraceMerger merger(out);
    std::vector<std::string> problems;
    for (int rank = 0; rank < size; ++rank) {
        std::FILE* own = rank == 0 && ownPartUsable ? std::fopen(ownPart.c_str(), "rb") : nullptr;
        FileSource local(own);
        RemotePart remote(comm, rank);
        ByteSource& src = rank == 0 ? static_cast<ByteSource&>(local) : remote;
        PartHeader header;
        const bool readable = (rank != 0 || own) && readPartHeader(src, header);
        if (!readable) {
            if (out) merger.declareWithoutRecords(static_cast<uint32_t>(rank));
            problems.push_back("rank " + std::to_string(rank) + ": no trace records");
        } else if (out) {
            const PartReport report = merger.appendPart(src);
            if (!report.complete)
                problems.push_back("rank " + std::to_string(rank) + ": " + report.problem);
        }
        if (rank != 0) remote.drain();
        if (own) std::fclose(own);
    }
    bool ok = out != nullptr && !merger.writeFailed();
    if (out && std::fclose(out) != 0) ok = false;
    if (ok) {
        std::FILE* fdb = std::fopen(names.database.c_str(), "w");
        const std::string text = merger.databaseText();
        ok = fdb && std::fwrite(text.data(), 1, text.size(), fdb) == text.size();
        if (fdb && std::fclose(fdb) != 0) ok = false;
    }
    for (const auto& p : problems) std::fprintf(stderr, "zlvtrace: %s\n", p.c_str());
    if (ok) {
        if (!std::getenv("ZLV_QUIET"))
            std::fprintf(stderr, "zlvtrace: wrote %s and %s (%d processes, %llu records)\n",
                         names.trace.c_str(), names.database.c_str(), size,
                         static_cast<unsigned long long>(merger.recordCount()));
    } else {
        std::fprintf(stderr,
                     "zlvtrace: could not write %s; the parts stay in %s, join them with: "
                     "zlv-merge %s\n",
                     names.trace.c_str(), names.partsDir.c_str(), names.partsDir.c_str());
    }
    return ok;
}

} // namespace

bool collectTrace(MPI_Comm comm, const TraceFileNames& names, const std::string& ownPart,
                  bool ownPartUsable) {
    int rank = 0, size = 1;
    PMPI_Comm_rank(comm, &rank);
    PMPI_Comm_size(comm, &size);
    int ok = 0;
    if (rank == 0)
        ok = mergeAtRoot(comm, size, names, ownPart, ownPartUsable) ? 1 : 0;
    else
        sendPart(comm, ownPart, ownPartUsable);
    PMPI_Bcast(&ok, 1, MPI_INT, 0, comm);
    if (ok && !std::getenv("ZLV_KEEP_PARTS")) {
        ::unlink(ownPart.c_str());
        PMPI_Barrier(comm);
        if (rank == 0) ::rmdir(names.partsDir.c_str()); // fails harmlessly if others remain
    }
    return ok != 0;
}

} // namespace zlvt
