"""Checks a Trace Event JSON file written by zlv export chrome against the
counts zlv info gives: one complete event per call (section markers are
none), one flow start and end per link, each flow end inside a slice of its
process, one named process per rank. Prints "ok" or the first problem."""
import json
import sys
from collections import Counter, defaultdict

events = json.load(open(sys.argv[1]))["traceEvents"]
calls, links, ranks, markers = (int(a) for a in sys.argv[2:6])
phases = Counter(e["ph"] for e in events)
slices = defaultdict(list)
for e in events:
    if e["ph"] == "X":
        slices[e["pid"]].append((e["ts"], e["ts"] + e["dur"]))
names = {e["pid"] for e in events if e["ph"] == "M" and e["name"] == "process_name"}
problems = []
if phases["X"] != calls - markers:
    problems.append(f"{phases['X']} complete events for {calls - markers} calls")
if phases["s"] != links or phases["f"] != links:
    problems.append(f"{phases['s']}/{phases['f']} flow ends for {links} links")
if len(names) != ranks:
    problems.append(f"{len(names)} named processes for {ranks} ranks")
for e in events:
    if e["ph"] == "f" and not any(a <= e["ts"] <= b for a, b in slices[e["pid"]]):
        problems.append(f"flow {e['id']} ends outside every slice of process {e['pid']}")
        break
print(problems[0] if problems else "ok")
