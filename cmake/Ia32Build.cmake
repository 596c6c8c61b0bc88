# The 32-bit configuration: the IA32 PEI module moxsecpeim, the part of the simulator it runs on (its
# core and the PEI environment, not the Win32 binding) and their tests.

# A kernel without IA32 emulation cannot start a 32-bit program: the tests then run under user-mode
# emulation (cmake/ia32-run.sh), with qemu-user from scripts/deps.sh.
file(WRITE ${CMAKE_BINARY_DIR}/ia32-probe/probe.cpp "int main() { return sizeof(void*) == 4 ? 0 : 1; }\n")
try_run(MOX_IA32_PROBE_RUN MOX_IA32_PROBE_BUILD ${CMAKE_BINARY_DIR}/ia32-probe
        ${CMAKE_BINARY_DIR}/ia32-probe/probe.cpp)
if(NOT MOX_IA32_PROBE_BUILD)
  message(FATAL_ERROR "32-bit programs cannot be built here: g++-multilib is missing (scripts/deps.sh installs it)")
endif()
if(NOT MOX_IA32_PROBE_RUN EQUAL 0)
  find_program(MOX_QEMU_I386 qemu-i386)
  if(NOT MOX_QEMU_I386)
    message(FATAL_ERROR "this kernel does not run 32-bit programs and qemu-i386 is missing (scripts/deps.sh installs it)")
  endif()
  message(STATUS "32-bit programs run under ${MOX_QEMU_I386}")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/cmake/ia32-run.sh)
endif()

add_subdirectory(sim/pei)
add_subdirectory(firmware/moxsecpeim)

if(MOX_BUILD_TESTS)
  enable_testing()
  # GoogleTest from the sources Debian installs (libgtest-dev), built for 32 bits.
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  include(GoogleTest)

  add_library(mox_test_support32 OBJECT ${PROJECT_SOURCE_DIR}/tests/support/FaultsMustFire.cpp
                                        ${PROJECT_SOURCE_DIR}/tests/support/IsolatedState.cpp)
  target_link_libraries(mox_test_support32 PUBLIC moxsim_pei GTest::gtest)

  function(mox_ia32_test_folder name dir)
    file(GLOB _srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
    add_executable(${name} ${_srcs} $<TARGET_OBJECTS:mox_test_support32>)
    target_link_libraries(${name} PRIVATE ${ARGN} moxsim_pei GTest::gtest GTest::gtest_main)
    mox_test_link_options(${name})
    # Under emulation a process costs most of a second to start: each executable is then one test,
    # its cases all run in one process (they pass so as well as alone).
    if(CMAKE_CROSSCOMPILING_EMULATOR)
      add_test(NAME ${name} COMMAND ${name})
    else()
      gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120)
    endif()
  endfunction()

  mox_ia32_test_folder(test_sim_pei ${PROJECT_SOURCE_DIR}/tests/sim/pei)
  mox_ia32_test_folder(test_moxsecpeim ${PROJECT_SOURCE_DIR}/tests/firmware/moxsecpeim moxsecpeim)
endif()
