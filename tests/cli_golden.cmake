# Text-golden tests of zlv: generate small traces, run the verbs, compare
# standard output and exit status with the files under tests/golden/.
# Run with -DZLV=<zlv binary> -DSRC=<tests dir> -DWORK=<scratch dir>
# and -DUPDATE=1 to rewrite the golden files after an intended change.

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

function(run_zlv name expected_status)
    execute_process(COMMAND ${ZLV} ${ARGN}
        WORKING_DIRECTORY ${WORK}
        OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
    if(NOT status EQUAL expected_status)
        message(FATAL_ERROR "zlv ${ARGN}: exit status ${status}, expected ${expected_status}\n${err}")
    endif()
    set(golden ${SRC}/golden/${name}.txt)
    if(UPDATE)
        file(WRITE ${golden} "${out}")
    else()
        file(READ ${golden} want)
        if(NOT out STREQUAL want)
            file(WRITE ${WORK}/${name}.actual "${out}")
            message(FATAL_ERROR "zlv ${ARGN}: output differs from ${golden}; see ${WORK}/${name}.actual")
        endif()
    endif()
    set(last_stderr "${err}" PARENT_SCOPE)
endfunction()

run_zlv(gen_ring 0 gen ring ring.zlv --ranks 4 --nodes 2 --iterations 2 --seed 3 --skew-us 500)
run_zlv(info_ring 0 info ring.zlv)
if(NOT last_stderr STREQUAL "")
    message(FATAL_ERROR "zlv info on a generated trace wrote messages:\n${last_stderr}")
endif()
run_zlv(links_ring 0 links ring.zlv)
run_zlv(dump_ring_rank1 0 dump ring.zlv --rank 1)

run_zlv(gen_noinit 0 gen collectives noinit.zlv --ranks 4 --nodes 2 --iterations 1 --fault no-init)
run_zlv(info_noinit 1 info noinit.zlv)
string(FIND "${last_stderr}" "Process(es) from node 1 hase(have) no Init functions" at)
if(at EQUAL -1)
    message(FATAL_ERROR "no-init trace did not report its node:\n${last_stderr}")
endif()

# A cut-off copy: still loads, with one truncation line.
file(SIZE ${WORK}/ring.zlv size)
math(EXPR keep "${size} - 10")
execute_process(COMMAND head -c ${keep} ring.zlv OUTPUT_FILE ${WORK}/cut.zlv WORKING_DIRECTORY ${WORK})
file(COPY_FILE ${WORK}/ring.fdb ${WORK}/cut.fdb)
run_zlv(info_cut 0 info cut.zlv)
string(FIND "${last_stderr}" "Input file is truncated: incomplete record at byte" at)
if(at EQUAL -1)
    message(FATAL_ERROR "truncated trace gave no truncation line:\n${last_stderr}")
endif()

# The analysis verbs: every table and format once, ranges cutting the run.
run_zlv(profile_ring 0 profile ring.zlv)
run_zlv(profile_ring_rank 0 profile ring.zlv --by rank --format tsv --from -1000 --to 300)
run_zlv(stats_process_ring_range 0 stats process ring.zlv --format tsv --from -1000 --to 300)
run_zlv(stats_sendrecv_ring_range 0 stats sendrecv ring.zlv --format tsv --from 0 --to 400)
run_zlv(gen_mixed 0 gen mixed mixed.zlv --ranks 4 --nodes 2 --iterations 1 --seed 5 --skew-us 300)
run_zlv(profile_mixed_section 0 profile mixed.zlv --section 4 --rank 0 --rank 2 --format csv)
run_zlv(profile_mixed_region 0 profile mixed.zlv --by region --from 1000 --to 13900 --rank 0 --rank 3 --format tsv)
run_zlv(sizes_mixed 0 stats sizes mixed.zlv)
run_zlv(waits_mixed 0 waits mixed.zlv)
run_zlv(waits_mixed_rank 0 waits mixed.zlv --by rank --format tsv)
run_zlv(waits_mixed_function 0 waits mixed.zlv --by function --to 5000)
run_zlv(waits_mixed_list 0 waits mixed.zlv --list 8 --format tsv)
run_zlv(clocks_mixed 0 clocks mixed.zlv)
# A real program's trace (examples/README.md): collectives on sub-communicators.
set(lu ${SRC}/../examples/scalapack_lu.zlv)
run_zlv(profile_scalapack_lu 0 profile ${lu} --format tsv)
run_zlv(waits_scalapack_lu 0 waits ${lu} --format tsv)
run_zlv(waits_scalapack_lu_list 0 waits ${lu} --list 10 --format tsv)
run_zlv(sizes_scalapack_lu 0 stats sizes ${lu} --format tsv)
run_zlv(clocks_scalapack_lu 0 clocks ${lu} --format tsv)
run_zlv(profile_bad_range 2 profile mixed.zlv --from 10 --to 10)
run_zlv(stats_nodes_range 2 stats nodes mixed.zlv --from 10)

run_zlv(info_missing 2 info does-not-exist.zlv)
run_zlv(usage_error 2 info)
