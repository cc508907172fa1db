# The tests of the Windows build, run under Wine through CMAKE_CROSSCOMPILING_EMULATOR.
# The core's tests that need no Linux adapter are built once more for Windows; the Win32
# adapters have their own tests. Tests are listed when ctest runs, not at build time, so a
# build needs no Wine.
function(zq_windows_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE zq_platform zq_common GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE
    ZQ_BIN_DIR="${CMAKE_BINARY_DIR}/bin" ZQ_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
    PROPERTIES ENVIRONMENT "ZEQUORA_UI=console;WINEDEBUG=-all")
endfunction()

set(zq_core_tests ${CMAKE_CURRENT_SOURCE_DIR}/platform/CommandLineTest.cpp)
if(TARGET zq_reorg)
  list(APPEND zq_core_tests ${CMAKE_CURRENT_SOURCE_DIR}/reorg/FunktionenTest.cpp)
endif()
zq_windows_test(test_win_core ${zq_core_tests})
if(TARGET zq_reorg)
  target_link_libraries(test_win_core PRIVATE zq_reorg)
endif()

# The Win32 adapters against the real Windows (Wine) registry, files and processes.
add_executable(zq_showargs ${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/tools/ShowArgs.cpp)
file(GLOB zq_win32_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/*.cpp)
zq_windows_test(test_win32 ${zq_win32_tests})
add_dependencies(test_win32 zq_showargs)

# The DAO adapter against the stand-in DAO server, and the Windows msaccess.exe.
add_subdirectory(win32)
