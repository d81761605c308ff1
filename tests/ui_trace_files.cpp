#include "tests/ui_trace_files.h"

#include "model/trace_model.h"

QString saveTrace(const QTemporaryDir& dir, const QString& name, const TraceWriter& trace,
                  const std::string& fdb) {
    const QString path = dir.filePath(name);
    trace.save(path.toStdString());
    if (!fdb.empty()) {
        QString base = path;
        base.chop(4);
        saveText((base + ".fdb").toStdString(), fdb);
    }
    return path;
}

TraceWriter barsTrace() {
    const uint32_t nodeA = nodeIdFromOctets(10, 0, 0, 1);
    const uint32_t nodeB = nodeIdFromOctets(10, 0, 0, 2);
    TraceWriter w;
    w.declareProcess(0, nodeA);
    w.shortCall(makeLocation(1, 1), kFuncInit, 0, 0);
    w.longCall(kBarsSendLocation, kFuncSend, 50, 150, 8, 7, 1, kWorldComm);
    w.longCall(makeLocation(3, 20), kFuncSend | kUnfinishedFlag, 200, 260, 8, 9, 2, kWorldComm);
    w.declareProcess(1, nodeB);
    w.shortCall(makeLocation(1, 1), kFuncInit, 0, 0);
    w.longCall(makeLocation(3, 30), kFuncRecv, 60, 300, 8, 7, 0, kWorldComm);
    w.shortCall(makeLocation(3, 31), kFuncWait, 320, 380);
    w.shortCall(makeLocation(3, 32), 65, 400, 400);
    w.declareProcess(2, nodeA);
    w.shortCall(makeLocation(1, 1), kFuncInit, 0, 0);
    w.longCall(makeLocation(3, 40), kFuncIrecv, 100, 180, 8, 3, 0, kWorldComm);
    w.shortCall(makeLocation(3, 41), kFuncFinalize, 500, 520);
    return w;
}

TraceWriter spanTrace(int64_t end) {
    const uint32_t node = nodeIdFromOctets(192, 168, 1, 7);
    TraceWriter w;
    for (uint32_t rank = 0; rank < 3; ++rank) {
        w.declareProcess(rank, node);
        w.shortCall(makeLocation(1, 1), kFuncInit, 0, 0);
    }
    w.declareProcess(0, node);
    w.shortCall(makeLocation(1, 2), kFuncFinalize, end / 2, end);
    return w;
}

TraceWriter extremeTrace(int64_t start, int64_t end) {
    TraceWriter w;
    w.declareProcess(0, nodeIdFromOctets(10, 1, 1, 1));
    w.shortCall(makeLocation(1, 1), kFuncInit, start, 0);
    w.shortCall(makeLocation(1, 2), kFuncRecv, 10, end);
    return w;
}
