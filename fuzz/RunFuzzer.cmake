# Runs FUZZER for SECONDS over a fresh scratch corpus in SCRATCH, seeded with the
# files of SEEDS and REGRESSIONS, and fails on any crash, leak, timeout or memory blow-up.
#
#   cmake -DFUZZER=... -DSEEDS=... -DREGRESSIONS=... -DSCRATCH=... -DSECONDS=60 -P RunFuzzer.cmake
foreach(variable FUZZER SEEDS REGRESSIONS SCRATCH SECONDS)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "RunFuzzer.cmake needs -D${variable}=...")
    endif()
endforeach()

file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH}/corpus ${SCRATCH}/artifacts)
file(GLOB seeds ${SEEDS}/*.wav ${SEEDS}/*.vqrd ${REGRESSIONS}/*.wav ${REGRESSIONS}/*.vqrd)
file(COPY ${seeds} DESTINATION ${SCRATCH}/corpus)

# Limits for these readers: an input is at most a little over one 1 MiB read block (enough
# for samples that straddle two blocks) and loads in milliseconds, and a load touches memory
# only for the samples the file supplies (a reader's stream: for the frames it keeps). Ten seconds for one input, 1.5 GB resident or a
# single 512 MB allocation therefore mean a fault (a loop over a claimed frame count, arrays
# sized on the heap or faulted in whole), not a slow machine.
execute_process(
    COMMAND ${FUZZER}
        -max_total_time=${SECONDS}
        -max_len=1179648
        -timeout=10
        -rss_limit_mb=1536
        -malloc_limit_mb=512
        -print_final_stats=1
        -artifact_prefix=${SCRATCH}/artifacts/
        ${SCRATCH}/corpus
    RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    get_filename_component(name ${FUZZER} NAME)
    message(FATAL_ERROR "${name} failed (${status}); the input is in ${SCRATCH}/artifacts")
endif()
