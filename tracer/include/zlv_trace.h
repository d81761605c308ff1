/* The C API of the ZELVOR tracing library (libzlvtrace.so).
 *
 * Section markers divide a traced run into named program sections; counter
 * calls count how often an instrumented place of the program ran. Both may be
 * used before MPI_Init (they then take effect at MPI_Init) and are ignored
 * after MPI_Finalize. Link the program with -lzlvtrace to use them. */
#ifndef ZLV_TRACE_H
#define ZLV_TRACE_H

#ifdef __cplusplus
extern "C" {
#endif

/* The calls that follow belong to the section `name` until the matching
 * zlv_section_end (sections nest). */
void zlv_section_begin(const char* name);
/* Returns to the enclosing section (the main section at the outermost level). */
void zlv_section_end(void);

/* Recording of calls stops at zlv_pause and goes on at zlv_resume (from the
 * start of the run when ZLV_PAUSED is set). MPI_Init, MPI_Finalize and the
 * calls that make or free communicators are recorded also while paused. */
void zlv_pause(void);
void zlv_resume(void);

/* Adds `times` to the counter of the place file:line. */
void zlv_count_at(const char* file, unsigned line, unsigned times);
/* Adds one to the counter of the calling place, known by its return address. */
void zlv_count(void);

/* Gives the source location of the next MPI call of this thread. Used by
 * the macros of zlv_mpi.h; rarely called by hand. */
void zlv_here(const char* file, unsigned line);

#ifdef __cplusplus
}
#endif

/* Counts the place where it stands. */
#define ZLV_COUNT() zlv_count_at(__FILE__, __LINE__, 1)

#endif
