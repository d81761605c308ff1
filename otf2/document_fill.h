#pragma once
// Fills a document the way the model's trace builder does, with the subset
// of its interface the OTF2 importer uses. Interim: it gives way to the
// builder once that is in the model.

#include "model/load_progress.h"
#include "model/trace_model.h"
#include "otf2/per_trace_names.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

class TTrace;

struct FillCall {
    uint32_t location = 0;
    uint32_t funcId = 0;
    int64_t start = 0;
    int64_t end = 0;
    int32_t peer = 0;
    uint32_t comm = 0;
    uint32_t msgTag = 0;
    uint32_t size = 0;
};

class DocumentFill {
  public:
    using ProcessHandle = uint32_t;
    DocumentFill(TTrace& trace, std::ostream& errors) : trace_(trace), errors_(errors) {}

    uint32_t addNode(std::string name, std::optional<uint32_t> ipv4);
    ProcessHandle declareProcess(int32_t rank, uint32_t nodeIndex, uint64_t expectedCalls = 0);
    void addCall(ProcessHandle process, const FillCall& call,
                 std::optional<std::span<const uint32_t>> members = std::nullopt);
    void addSectionMarker(ProcessHandle process, uint32_t section, int64_t at);
    void addKnownComm(ProcessHandle process, uint32_t id, std::span<const uint32_t> globalMembers);
    void nameSection(uint32_t id, std::string name);
    void nameFile(uint32_t id, std::string name);
    void addCounter(int32_t rank, uint32_t times, uint32_t location);
    uint32_t nameFunction(std::string name) { return functions_.id(name); }
    bool finish(const LoadProgress& progress = {});

  private:
    TTrace& trace_;
    std::ostream& errors_;
    std::vector<uint32_t> nodeIds_;
    std::unordered_set<uint32_t> taken_;
    uint32_t synthetic_ = 0;
    otf2in::PerTraceNames functions_;
};
