# Compiles and links the reader and drawing sources with a tiny main, using the compiler
# alone and the repository root as the only include folder, then runs the result.
# Arguments: -DCXX=compiler -DSOURCE_DIR=repository root -DWORK_DIR=scratch folder
set(sources
    ${SOURCE_DIR}/wave/WaveRecord.cpp
    ${SOURCE_DIR}/wave/WaveFileReader.cpp
    ${SOURCE_DIR}/wave/WaveHeaderParser.cpp
    ${SOURCE_DIR}/wave/SampleDecoders.cpp
    ${SOURCE_DIR}/wave/SampleSinks.cpp
    ${SOURCE_DIR}/wave/SampleBlockReader.cpp
    ${SOURCE_DIR}/display/InfoLines.cpp
    ${SOURCE_DIR}/display/WaveformPlot.cpp
    ${SOURCE_DIR}/tests/unit/standalone/StandaloneMain.cpp)
file(MAKE_DIRECTORY ${WORK_DIR})
set(program ${WORK_DIR}/standalone_drawing)
execute_process(
    COMMAND ${CXX} -std=c++20 -I${SOURCE_DIR} ${sources} -o ${program}
    RESULT_VARIABLE compiled)
if(NOT compiled EQUAL 0)
    message(FATAL_ERROR "the standalone sources do not compile and link with ${CXX} alone")
endif()
execute_process(COMMAND ${program} RESULT_VARIABLE ran)
if(NOT ran EQUAL 0)
    message(FATAL_ERROR "the standalone program failed (${ran})")
endif()
