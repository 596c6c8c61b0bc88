# A layer folder is one static library made of every source in it; new files need no CMake edit.
function(mox_layer_library name dir)
  file(GLOB_RECURSE _srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(_srcs)
    add_library(${name} STATIC ${_srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# Test programs are linked at a fixed address: each test runs in a process of its own, and a
# position-independent sanitizer build spends most of a short test relocating itself at start.
function(mox_test_link_options name)
  target_link_options(${name} PRIVATE -no-pie)
endfunction()

# One test executable per tests/ folder; every test runs in a process of its own, so process-wide
# state (controller table, caches, flags) starts fresh in each.
function(mox_test_folder name dir)
  file(GLOB _srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT _srcs)
    return()
  endif()
  add_executable(${name} ${_srcs})
  target_link_libraries(${name} PRIVATE ${ARGN} mox_test_support GTest::gtest GTest::gtest_main)
  mox_test_link_options(${name})
  add_dependencies(${name} mox_test_child)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "MOX_TEST_CHILD=$<TARGET_FILE:mox_test_child>")
endfunction()
