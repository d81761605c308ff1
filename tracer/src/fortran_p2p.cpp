// Point-to-point calls and probes from Fortran.

#include "fortran_entry.h"
#include "traced_p2p.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

using namespace zlvt;

namespace zlvt {

void* fortranImplementation(const char* name) {
    void* f = dlsym(RTLD_DEFAULT, name);
    if (!f) {
        std::fprintf(stderr, "zlvtrace: the MPI library has no Fortran function %s\n", name);
        std::abort();
    }
    return f;
}

} // namespace zlvt

namespace {

uint32_t bytesOfF(const MPI_Fint* count, const MPI_Fint* type) {
    return bytesOf(static_cast<int>(*count), MPI_Type_f2c(*type));
}

} // namespace

#define ZLV_FORTRAN_SEND(lower, UPPER)                                                             \
    ZLV_FORTRAN(lower, UPPER,                                                                      \
                (char* buf, MPI_Fint* count, MPI_Fint* type, MPI_Fint* dest, MPI_Fint* tag,        \
                 MPI_Fint* comm, MPI_Fint* ierr)) {                                                \
        ZLV_FORTRAN_REAL(lower);                                                                   \
        tracedSend(                                                                                \
            ZLV_CALLER,                                                                            \
            [&] {                                                                                  \
                real(buf, count, type, dest, tag, comm, ierr);                                     \
                return rcOf(ierr);                                                                 \
            },                                                                                     \
            bytesOfF(count, type), *dest, *tag, MPI_Comm_f2c(*comm));                              \
    }

#define ZLV_FORTRAN_ISEND(lower, UPPER)                                                            \
    ZLV_FORTRAN(lower, UPPER,                                                                      \
                (char* buf, MPI_Fint* count, MPI_Fint* type, MPI_Fint* dest, MPI_Fint* tag,        \
                 MPI_Fint* comm, MPI_Fint* request, MPI_Fint* ierr)) {                             \
        ZLV_FORTRAN_REAL(lower);                                                                   \
        MPI_Request c = MPI_REQUEST_NULL;                                                          \
        tracedIsend(                                                                               \
            ZLV_CALLER,                                                                            \
            [&] {                                                                                  \
                real(buf, count, type, dest, tag, comm, request, ierr);                            \
                c = MPI_Request_f2c(*request);                                                     \
                return rcOf(ierr);                                                                 \
            },                                                                                     \
            bytesOfF(count, type), *dest, *tag, MPI_Comm_f2c(*comm), &c);                          \
    }

ZLV_FORTRAN_SEND(send, SEND)
ZLV_FORTRAN_SEND(ssend, SSEND)
ZLV_FORTRAN_SEND(bsend, BSEND)
ZLV_FORTRAN_SEND(rsend, RSEND)
ZLV_FORTRAN_ISEND(isend, ISEND)
ZLV_FORTRAN_ISEND(issend, ISSEND)
ZLV_FORTRAN_ISEND(ibsend, IBSEND)
ZLV_FORTRAN_ISEND(irsend, IRSEND)

ZLV_FORTRAN(recv, RECV,
            (char* buf, MPI_Fint* count, MPI_Fint* type, MPI_Fint* source, MPI_Fint* tag,
             MPI_Fint* comm, MPI_Fint* status, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(recv);
    FortranStatus st(status);
    tracedRecv(
        ZLV_CALLER,
        [&] {
            real(buf, count, type, source, tag, comm, st.f, ierr);
            st.toC();
            return rcOf(ierr);
        },
        bytesOfF(count, type), *source, *tag, MPI_Comm_f2c(*comm), &st.c);
}

ZLV_FORTRAN(irecv, IRECV,
            (char* buf, MPI_Fint* count, MPI_Fint* type, MPI_Fint* source, MPI_Fint* tag,
             MPI_Fint* comm, MPI_Fint* request, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(irecv);
    MPI_Request c = MPI_REQUEST_NULL;
    tracedIrecv(
        ZLV_CALLER,
        [&] {
            real(buf, count, type, source, tag, comm, request, ierr);
            c = MPI_Request_f2c(*request);
            return rcOf(ierr);
        },
        bytesOfF(count, type), *source, *tag, MPI_Comm_f2c(*comm), &c);
}

ZLV_FORTRAN(sendrecv, SENDRECV,
            (char* sendbuf, MPI_Fint* sendcount, MPI_Fint* sendtype, MPI_Fint* dest,
             MPI_Fint* sendtag, char* recvbuf, MPI_Fint* recvcount, MPI_Fint* recvtype,
             MPI_Fint* source, MPI_Fint* recvtag, MPI_Fint* comm, MPI_Fint* status,
             MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(sendrecv);
    FortranStatus st(status);
    tracedSendrecv(
        ZLV_CALLER,
        [&] {
            real(sendbuf, sendcount, sendtype, dest, sendtag, recvbuf, recvcount, recvtype, source,
                 recvtag, comm, st.f, ierr);
            st.toC();
            return rcOf(ierr);
        },
        bytesOfF(sendcount, sendtype), *dest, *sendtag, bytesOfF(recvcount, recvtype),
        MPI_Comm_f2c(*comm), &st.c);
}

ZLV_FORTRAN(sendrecv_replace, SENDRECV_REPLACE,
            (char* buf, MPI_Fint* count, MPI_Fint* type, MPI_Fint* dest, MPI_Fint* sendtag,
             MPI_Fint* source, MPI_Fint* recvtag, MPI_Fint* comm, MPI_Fint* status,
             MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(sendrecv_replace);
    FortranStatus st(status);
    const uint32_t size = bytesOfF(count, type);
    tracedSendrecv(
        ZLV_CALLER,
        [&] {
            real(buf, count, type, dest, sendtag, source, recvtag, comm, st.f, ierr);
            st.toC();
            return rcOf(ierr);
        },
        size, *dest, *sendtag, size, MPI_Comm_f2c(*comm), &st.c);
}

ZLV_FORTRAN(probe, PROBE,
            (MPI_Fint * source, MPI_Fint* tag, MPI_Fint* comm, MPI_Fint* status, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(probe);
    FortranStatus st(status);
    tracedProbe(
        ZLV_CALLER,
        [&] {
            real(source, tag, comm, st.f, ierr);
            st.toC();
            return rcOf(ierr);
        },
        otherCallId(kOtherProbe), *source, *tag, MPI_Comm_f2c(*comm), &st.c);
}

ZLV_FORTRAN(iprobe, IPROBE,
            (MPI_Fint * source, MPI_Fint* tag, MPI_Fint* comm, MPI_Fint* flag, MPI_Fint* status,
             MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(iprobe);
    FortranStatus st(status);
    int found = 0;
    tracedIprobe(
        ZLV_CALLER,
        [&] {
            real(source, tag, comm, flag, st.f, ierr);
            found = *flag != 0;
            st.toC();
            return rcOf(ierr);
        },
        otherCallId(kOtherIprobe), MPI_Comm_f2c(*comm), &found, &st.c);
}

ZLV_FORTRAN(mprobe, MPROBE,
            (MPI_Fint * source, MPI_Fint* tag, MPI_Fint* comm, MPI_Fint* message, MPI_Fint* status,
             MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(mprobe);
    FortranStatus st(status);
    MPI_Message c = MPI_MESSAGE_NULL;
    tracedProbe(
        ZLV_CALLER,
        [&] {
            real(source, tag, comm, message, st.f, ierr);
            c = MPI_Message_f2c(*message);
            st.toC();
            return rcOf(ierr);
        },
        otherCallId(kOtherMprobe), *source, *tag, MPI_Comm_f2c(*comm), &st.c, &c);
}

ZLV_FORTRAN(improbe, IMPROBE,
            (MPI_Fint * source, MPI_Fint* tag, MPI_Fint* comm, MPI_Fint* flag, MPI_Fint* message,
             MPI_Fint* status, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(improbe);
    FortranStatus st(status);
    MPI_Message c = MPI_MESSAGE_NULL;
    int found = 0;
    tracedIprobe(
        ZLV_CALLER,
        [&] {
            real(source, tag, comm, flag, message, st.f, ierr);
            found = *flag != 0;
            c = MPI_Message_f2c(*message);
            st.toC();
            return rcOf(ierr);
        },
        otherCallId(kOtherImprobe), MPI_Comm_f2c(*comm), &found, &st.c, &c);
}

ZLV_FORTRAN(mrecv, MRECV,
            (char* buf, MPI_Fint* count, MPI_Fint* type, MPI_Fint* message, MPI_Fint* status,
             MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(mrecv);
    FortranStatus st(status);
    const MPI_Message probed = MPI_Message_f2c(*message);
    tracedMrecv(
        ZLV_CALLER,
        [&] {
            real(buf, count, type, message, st.f, ierr);
            st.toC();
            return rcOf(ierr);
        },
        bytesOfF(count, type), probed, &st.c);
}

ZLV_FORTRAN(imrecv, IMRECV,
            (char* buf, MPI_Fint* count, MPI_Fint* type, MPI_Fint* message, MPI_Fint* request,
             MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(imrecv);
    const MPI_Message probed = MPI_Message_f2c(*message);
    MPI_Request c = MPI_REQUEST_NULL;
    tracedImrecv(
        ZLV_CALLER,
        [&] {
            real(buf, count, type, message, request, ierr);
            c = MPI_Request_f2c(*request);
            return rcOf(ierr);
        },
        bytesOfF(count, type), probed, &c);
}
