#pragma once
// The three consistency checks of a trace, as the lines the check dialog and
// `zlv check` print. Read-only: the document is not changed.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TTrace;

struct CheckSelection {
    bool termination = true;   // processes ending inside an unfinished call, or without calls
    bool communicators = true; // communicators created and never freed
    bool sendRecv = true;      // pairs whose send and receive counts disagree
};

struct CheckReport {
    std::vector<std::string> lines; // in output order, without line ends
    uint32_t findings = 0;          // number of findings (a finding may take two lines)
};

// Runs the selected checks in their fixed order (termination, communicators,
// send/receive), each framed by its heading line and "Done", then "Checking complete".
CheckReport runChecks(const TTrace& trace, const CheckSelection& selection);

// The single checks, appending their finding lines; each returns its number of findings.
uint32_t checkTerminations(const TTrace& trace, std::vector<std::string>& lines);
uint32_t checkCommunicators(const TTrace& trace, std::vector<std::string>& lines);
uint32_t checkSendRecv(const TTrace& trace, std::vector<std::string>& lines);

// The process a finding line names, by rank; lastCall when the line is about
// the call it ended in ("Process rank 3. Location ..."). A send/receive line
// names its sending rank. nullopt for headings and other lines.
struct CheckLineTarget {
    int32_t rank = 0;
    bool lastCall = false;
    bool operator==(const CheckLineTarget&) const = default;
};
std::optional<CheckLineTarget> checkLineTarget(const std::string& line);
