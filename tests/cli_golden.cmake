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

run_zlv(info_missing 2 info does-not-exist.zlv)
run_zlv(usage_error 2 info)
