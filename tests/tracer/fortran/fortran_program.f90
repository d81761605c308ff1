! A Fortran MPI program for the tracer tests, run with 4 processes. Each
! part uses another of Fortran's MPI interfaces: mpif.h, the mpi module and
! the mpi_f08 module.
program fortran_program
  use mpi
  implicit none
  integer :: rank, nprocs, ierr, group, upper, sub, value, i
  integer :: requests(2), members(3), indices(2), done
  logical :: flag
  call MPI_Init(ierr)
  call MPI_Comm_rank(MPI_COMM_WORLD, rank, ierr)
  call MPI_Comm_size(MPI_COMM_WORLD, nprocs, ierr)
  call ring_f77(rank, nprocs)

  ! non-blocking pair completed by MPI_Waitall
  call MPI_Irecv(value, 1, MPI_INTEGER, mod(rank + nprocs - 1, nprocs), 20, MPI_COMM_WORLD, &
                 requests(1), ierr)
  call MPI_Isend(rank, 1, MPI_INTEGER, mod(rank + 1, nprocs), 20, MPI_COMM_WORLD, &
                 requests(2), ierr)
  call MPI_Waitall(2, requests, MPI_STATUSES_IGNORE, ierr)

  ! ranks 1 to 3 in a communicator of their own; its local rank 0 broadcasts
  members = [1, 2, 3]
  call MPI_Comm_group(MPI_COMM_WORLD, group, ierr)
  call MPI_Group_incl(group, 3, members, upper, ierr)
  call MPI_Comm_create(MPI_COMM_WORLD, upper, sub, ierr)
  if (sub /= MPI_COMM_NULL) then
    call MPI_Bcast(value, 1, MPI_INTEGER, 0, sub, ierr)
    call MPI_Comm_free(sub, ierr)
  end if

  ! rank 2 polls 3 times before it lets rank 1 send
  if (rank == 2) then
    do i = 1, 3
      call MPI_Iprobe(1, 40, MPI_COMM_WORLD, flag, MPI_STATUS_IGNORE, ierr)
    end do
    call MPI_Send(value, 1, MPI_INTEGER, 1, 41, MPI_COMM_WORLD, ierr)
    call MPI_Recv(value, 1, MPI_INTEGER, 1, 40, MPI_COMM_WORLD, MPI_STATUS_IGNORE, ierr)
  else if (rank == 1) then
    call MPI_Recv(value, 1, MPI_INTEGER, 2, 41, MPI_COMM_WORLD, MPI_STATUS_IGNORE, ierr)
    call MPI_Send(value, 1, MPI_INTEGER, 2, 40, MPI_COMM_WORLD, ierr)
  end if

  ! rank 0 sends to rank 3, completing with MPI_Waitsome; rank 3 polls
  ! its receive with MPI_Testsome until it is done
  if (rank == 0) then
    call MPI_Isend(rank, 1, MPI_INTEGER, 3, 50, MPI_COMM_WORLD, requests(1), ierr)
    call MPI_Waitsome(1, requests, done, indices, MPI_STATUSES_IGNORE, ierr)
  else if (rank == 3) then
    call MPI_Irecv(value, 1, MPI_INTEGER, 0, 50, MPI_COMM_WORLD, requests(1), ierr)
    done = 0
    do while (done == 0)
      call MPI_Testsome(1, requests, done, indices, MPI_STATUSES_IGNORE, ierr)
    end do
  end if

  call more_f08(rank)
  call MPI_Finalize(ierr)
end program
