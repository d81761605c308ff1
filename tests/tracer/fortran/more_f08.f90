! Through the mpi_f08 module: a split, collectives on it, a matched probe.
subroutine more_f08(rank)
  use mpi_f08
  implicit none
  integer, intent(in) :: rank
  type(MPI_Comm) :: half
  type(MPI_Message) :: message
  type(MPI_Status) :: status
  integer :: value, total
  value = rank
  call MPI_Comm_split(MPI_COMM_WORLD, mod(rank, 2), rank, half)
  call MPI_Bcast(value, 1, MPI_INTEGER, 1, half)
  call MPI_Allreduce(rank, total, 1, MPI_INTEGER, MPI_SUM, half)
  call MPI_Comm_free(half)
  if (rank == 0) call MPI_Send(value, 1, MPI_INTEGER, 3, 30, MPI_COMM_WORLD)
  if (rank == 3) then
    call MPI_Mprobe(MPI_ANY_SOURCE, 30, MPI_COMM_WORLD, message, status)
    call MPI_Mrecv(value, 1, MPI_INTEGER, message, MPI_STATUS_IGNORE)
  end if
end subroutine
