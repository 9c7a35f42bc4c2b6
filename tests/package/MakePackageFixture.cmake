# Makes the tree that the package tests read, from an already built build tree:
#   MODE=install  cmake --install into a fresh prefix OUTPUT
#   MODE=deb      the .deb, built by CPack from that same build into OUTPUT
# Run as: cmake -DMODE=... -DBUILD_DIR=... -DOUTPUT=... [-DCPACK=...] -P MakePackageFixture.cmake
file(REMOVE_RECURSE ${OUTPUT})
file(MAKE_DIRECTORY ${OUTPUT})
if(MODE STREQUAL "install")
    execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${OUTPUT}/prefix
        RESULT_VARIABLE result)
elseif(MODE STREQUAL "deb")
    # The umask would otherwise reach the package's staging folders.
    execute_process(
        COMMAND sh -c "umask 022 && exec \"$@\"" sh
                ${CPACK} --config ${BUILD_DIR}/CPackConfig.cmake -B ${OUTPUT}
        RESULT_VARIABLE result)
else()
    message(FATAL_ERROR "MODE must be install or deb")
endif()
if(NOT result EQUAL 0)
    message(FATAL_ERROR "making the ${MODE} fixture failed: ${result}")
endif()
