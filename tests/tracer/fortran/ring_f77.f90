! Through mpif.h: a blocking ring, even ranks send first.
subroutine ring_f77(rank, nprocs)
  implicit none
  include 'mpif.h'
  integer, intent(in) :: rank, nprocs
  integer :: value, ierr, status(MPI_STATUS_SIZE)
  value = rank
  if (mod(rank, 2) == 0) then
    call MPI_Send(value, 1, MPI_INTEGER, mod(rank + 1, nprocs), 10, MPI_COMM_WORLD, ierr)
    call MPI_Recv(value, 1, MPI_INTEGER, mod(rank + nprocs - 1, nprocs), 10, MPI_COMM_WORLD, &
                  status, ierr)
  else
    call MPI_Recv(value, 1, MPI_INTEGER, mod(rank + nprocs - 1, nprocs), 10, MPI_COMM_WORLD, &
                  MPI_STATUS_IGNORE, ierr)
    call MPI_Send(value, 1, MPI_INTEGER, mod(rank + 1, nprocs), 10, MPI_COMM_WORLD, ierr)
  end if
end subroutine
