"""A small mpi4py program for scripts/trace-examples: pickled point-to-point
messages (mpi4py receives them with matched probes), a ring of buffers,
collectives, and communicators made and freed, as real mpi4py programs do."""
from mpi4py import MPI

world = MPI.COMM_WORLD
rank, size = world.Get_rank(), world.Get_size()

# Pickled objects: rank 0 hands out work, the others answer.
if rank == 0:
    for worker in range(1, size):
        world.send({"task": worker, "data": list(range(worker * 10))}, dest=worker, tag=1)
    results = [world.recv(source=MPI.ANY_SOURCE, tag=2) for _ in range(1, size)]
    assert sorted(r["task"] for r in results) == list(range(1, size))
else:
    job = world.recv(source=0, tag=1)
    world.send({"task": job["task"], "sum": sum(job["data"])}, dest=0, tag=2)

# A ring of numeric buffers, non-blocking.
import array
out = array.array("d", [float(rank)] * 64)
inc = array.array("d", [0.0] * 64)
requests = [world.Irecv(inc, source=(rank - 1) % size, tag=3),
            world.Isend(out, dest=(rank + 1) % size, tag=3)]
MPI.Request.Waitall(requests)

total = world.allreduce(rank, op=MPI.SUM)
assert total == size * (size - 1) // 2
parity = world.Split(rank % 2, rank)
members = parity.allgather(rank)
dup = parity.Dup()
dup.barrier()
dup.Free()
parity.Free()
print("mpi4py_exchange: rank %d of %d, parity group %s" % (rank, size, members), flush=True)
