#pragma once
// Small traces for the window and view tests, written with TraceWriter.

#include "model/trace_writer.h"

#include <QString>
#include <QTemporaryDir>
#include <cstdint>

// Writes the bytes (and, when given, the database text beside them).
QString saveTrace(const QTemporaryDir& dir, const QString& name, const TraceWriter& trace,
                  const std::string& fdb = {});

// Three processes on two nodes, clocks already aligned (every MPI_Init ends
// at 0). After loading, the list is sorted by node: positions 0, 1, 2 hold
// ranks 0, 2, 1.
//   rank 0, node 10.0.0.1: MPI_Send 50..150 to rank 1 (file 3, line 17);
//                          unfinished MPI_Send (0x803) 200..260
//   rank 1, node 10.0.0.2: MPI_Recv 60..300 from rank 0; MPI_Wait 320..380;
//                          mark 65 at 400
//   rank 2, node 10.0.0.1: MPI_Irecv 100..180; MPI_Finalize 500..520
TraceWriter barsTrace();
constexpr uint32_t kBarsSendLocation = 3u << 16 | 17u;

// Three processes on one node from 0 to `end` (rank 0 ends with MPI_Finalize).
TraceWriter spanTrace(int64_t end);

// One process whose first call starts at `start` and whose second call ends
// at `end`: for extreme times.
TraceWriter extremeTrace(int64_t start, int64_t end);
