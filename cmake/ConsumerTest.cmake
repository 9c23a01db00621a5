# The installed package as another project sees it (run by CTest with cmake -P):
# installs this build into a fresh prefix, configures and builds examples/consumer against it
# with the same toolchain, and, where this machine runs the build's programs, registers the
# stand-in player module in the build's Wine prefix and runs the consumer, which must end
# with 0 (movie complete, outside URL refused).
#   -DBUILD_DIR=  -DSOURCE_DIR=  -DTOOLCHAIN=  -DWORK_DIR=  [-DEMULATOR=program|args -DMODULE=Z:\...dll]
foreach(var BUILD_DIR SOURCE_DIR TOOLCHAIN WORK_DIR)
  if(NOT ${var})
    message(FATAL_ERROR "ConsumerTest.cmake: ${var} is not set")
  endif()
endforeach()

function(run_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  message(STATUS "${what}: done")
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run_step("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file lib/cmake/FlashPlayerControl/FlashPlayerControlConfigVersion.cmake
             include/FlashPlayerControl/FlashPlayerControl.h include/FlashPlayerControl/Version.h
             include/framework/Streams.h lib/libFlashPlayerControl.a lib/libframework.a)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "the install lacks ${file}")
  endif()
endforeach()

# The toolchain searches packages only under its own root; the package folder is named directly.
run_step("configure consumer" ${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples/consumer -B ${WORK_DIR}/build
         -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DCMAKE_BUILD_TYPE=Release
         -DFlashPlayerControl_DIR=${prefix}/lib/cmake/FlashPlayerControl)
run_step("build consumer" ${CMAKE_COMMAND} --build ${WORK_DIR}/build)

if(NOT EMULATOR)
  message(STATUS "consumer built; this configuration's programs do not run here")
  return()
endif()
string(REPLACE "|" ";" EMULATOR "${EMULATOR}")
run_step("register player module" ${EMULATOR} regsvr32 /s ${MODULE})
execute_process(COMMAND ${EMULATOR} ${WORK_DIR}/build/consumer.exe
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 120)
execute_process(COMMAND ${EMULATOR} regsvr32 /u /s ${MODULE})
message(STATUS "${out}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "consumer ended with ${rc}:\n${out}\n${err}")
endif()
