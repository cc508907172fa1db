# The tests of the Windows build, run under Wine through CMAKE_CROSSCOMPILING_EMULATOR.
# The core's tests that run over the in-memory services (support/Fakes.h, MemoryFiles.h) are
# built once more for Windows; the Win32 adapters have their own tests. Tests are listed when ctest runs, not at build time, so a
# build needs no Wine.

# Wine's WoW64 mode gives a 32-bit program neither a display driver nor a working crypt32:
# tests that need a window or a message box on screen, or web access, carry the label
# "needs-64-bit-wine" and run in the 64-bit suite only (the 32-bit test preset leaves them
# out). zq_discover lists a test program's tests; NEEDS_64 is a gtest filter of those tests
# ("*" for all of them).
function(zq_discover target)
  cmake_parse_arguments(arg "" "NEEDS_64" "PROPERTIES" ${ARGN})
  set(common DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120)
  if(arg_NEEDS_64 STREQUAL "*" AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    return()  # a 32-bit program that imports crypt32 does not even start to list its tests
  elseif(arg_NEEDS_64 STREQUAL "*")
    gtest_discover_tests(${target} ${common} PROPERTIES ${arg_PROPERTIES} LABELS needs-64-bit-wine)
  elseif(arg_NEEDS_64)
    gtest_discover_tests(${target} ${common} TEST_FILTER "-${arg_NEEDS_64}" PROPERTIES ${arg_PROPERTIES})
    gtest_discover_tests(${target} ${common} TEST_FILTER "${arg_NEEDS_64}"
      PROPERTIES ${arg_PROPERTIES} LABELS needs-64-bit-wine)
  else()
    gtest_discover_tests(${target} ${common} PROPERTIES ${arg_PROPERTIES})
  endif()
endfunction()
function(zq_windows_test name)
  cmake_parse_arguments(arg "" "NEEDS_64" "" ${ARGN})
  add_executable(${name} ${arg_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE zq_platform zq_common GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE
    ZQ_BIN_DIR="${CMAKE_BINARY_DIR}/bin" ZQ_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  # After the stand-in DAO server's registration: no test starts Wine programs while it
  # rewrites the prefix's registry. (WINEDEBUG comes from the test preset.)
  zq_discover(${name} NEEDS_64 "${arg_NEEDS_64}" PROPERTIES FIXTURES_REQUIRED win_dao_server)
endfunction()

zq_windows_test(test_win_core ${CMAKE_CURRENT_SOURCE_DIR}/platform/CommandLineTest.cpp
                ${CMAKE_CURRENT_SOURCE_DIR}/reorg/FunktionenTest.cpp
                ${CMAKE_CURRENT_SOURCE_DIR}/reorg/OptionsAndBackupTest.cpp
                ${CMAKE_CURRENT_SOURCE_DIR}/reorg/CompactionTest.cpp
                ${CMAKE_CURRENT_SOURCE_DIR}/reorg/FrmZQRTest.cpp
                ${CMAKE_CURRENT_SOURCE_DIR}/common/StagedFileTest.cpp
                ${CMAKE_CURRENT_SOURCE_DIR}/common/FileInfoTest.cpp
                ${CMAKE_CURRENT_SOURCE_DIR}/common/IniTextTest.cpp
                ${CMAKE_CURRENT_SOURCE_DIR}/common/PathsTest.cpp
                ${CMAKE_CURRENT_SOURCE_DIR}/common/RegistryAccessTest.cpp
                ${CMAKE_CURRENT_SOURCE_DIR}/common/TraceAccessTest.cpp
                ${CMAKE_CURRENT_SOURCE_DIR}/common/Utf8Test.cpp
                ${CMAKE_CURRENT_SOURCE_DIR}/update/FrmMainTest.cpp
                ${CMAKE_CURRENT_SOURCE_DIR}/update/VersionTextTest.cpp
                ${CMAKE_CURRENT_SOURCE_DIR}/starter/StarterLogicTest.cpp
                ${CMAKE_CURRENT_SOURCE_DIR}/starter/UpdateFlowTest.cpp
                ${CMAKE_CURRENT_SOURCE_DIR}/support/MemoryFiles.cpp
                ${CMAKE_CURRENT_SOURCE_DIR}/support/MemoryDb.cpp
                ${CMAKE_CURRENT_SOURCE_DIR}/support/PeFixture.cpp)
target_link_libraries(test_win_core PRIVATE zq_reorg zq_update zq_starter)

# The Win32 adapters against the real Windows (Wine) registry, files and processes.
add_executable(zq_showargs ${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/tools/ShowArgs.cpp)
file(GLOB zq_win32_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/*.cpp)
zq_windows_test(test_win32 ${zq_win32_tests} NEEDS_64 "ReorgWindow*:UpdateWindow*:WinOpenFile*:WinDialogs*")
add_dependencies(test_win32 zq_showargs)
# The two windows are tested over their real logic.
target_link_libraries(test_win32 PRIVATE zq_reorg zq_update)
# Renders the windows under Wine for the documentation (scripts/screenshots.sh).
add_executable(zq_win_screenshots ${CMAKE_CURRENT_SOURCE_DIR}/tools/WinScreenshots.cpp)
target_link_libraries(zq_win_screenshots PRIVATE zq_reorg zq_update zq_platform zq_common GTest::gtest)
target_include_directories(zq_win_screenshots PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
set_target_properties(zq_win_screenshots PROPERTIES OUTPUT_NAME ZQ_Screenshots)

# The DAO adapter against the stand-in DAO server, and the Windows msaccess.exe.
add_subdirectory(win32)

# The end-to-end tests that answer message boxes through their windows.
set(ZQ_ZQM_NEEDS_64 "ZqmWine.MissingFrontEnd*:ZqmWine.NoAccessOnAFirstStart*:ZqmWine.WithoutAccess*:ZqmWine.DataPathThatCannotBeExamined*:ZqmWine.UpdateOffer*:ZqmWine.UpdateInstallerIsStarted*")
set(ZQ_ZQR_NEEDS_64 "ZqrWine.ADatabaseProgram*:ZqrWine.ForeignOrTruncatedFiles*:ZqrWine.AReadOnlyDataFile*:ZqrWine.PathsThatNameNoUsableFile*:ZqrWine.ManagerMode*:ZqrWine.Window*")

# ZQM.exe end to end: Wine's registry, real INI files, the DAO adapter over the stand-in
# server, the Windows msaccess.exe and installers with version resources made by windres.
# The tests share the prefix's registry, so they run one at a time.
foreach(version 4.1.24.0 4.1.22.0)
  string(REPLACE "." "_" suffix ${version})
  add_executable(zq_installer_${suffix} ${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/tools/ShowArgs.cpp)
  set_target_properties(zq_installer_${suffix} PROPERTIES OUTPUT_NAME zqmupd_${suffix})
  zq_version_resource(zq_installer_${suffix} VERSION ${version} FILE zqmupd.exe NAME zqmupd
    PRODUCT "ZEQUORA Manager Update" DESCRIPTION "Stand-in installer for tests")
  list(APPEND zq_installers zq_installer_${suffix})
endforeach()
add_executable(test_win_zqm ${CMAKE_CURRENT_SOURCE_DIR}/starter/win32/ZqmWineTest.cpp
               ${CMAKE_CURRENT_SOURCE_DIR}/win32/WinStandinSupport.cpp)
target_link_libraries(test_win_zqm PRIVATE zq_platform zq_common SQLite::SQLite3
                      GTest::gtest_main ole32 oleaut32 uuid)
target_include_directories(test_win_zqm PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(test_win_zqm PRIVATE ZQ_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
add_dependencies(test_win_zqm zqm zq_msaccess zq_daoserver ${zq_installers})
zq_discover(test_win_zqm NEEDS_64 "${ZQ_ZQM_NEEDS_64}"
  PROPERTIES ENVIRONMENT "WINEDEBUG=-all" RUN_SERIAL TRUE FIXTURES_REQUIRED win_dao_server)

# ZQR.exe end to end, against the lines the Linux build writes (reorg/ZqrExpected.h). The
# tests share the prefix's registry and its local working folder, so they run one at a time.
add_executable(test_win_zqr ${CMAKE_CURRENT_SOURCE_DIR}/reorg/win32/ZqrWineTest.cpp
               ${CMAKE_CURRENT_SOURCE_DIR}/win32/WinStandinSupport.cpp)
target_link_libraries(test_win_zqr PRIVATE zq_platform zq_common SQLite::SQLite3
                      GTest::gtest_main ole32 oleaut32 uuid)
target_include_directories(test_win_zqr PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(test_win_zqr PRIVATE ZQ_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
add_dependencies(test_win_zqr zqr zq_msaccess zq_daoserver zq_showargs)
zq_discover(test_win_zqr NEEDS_64 "${ZQ_ZQR_NEEDS_64}"
  PROPERTIES ENVIRONMENT "WINEDEBUG=-all" RUN_SERIAL TRUE FIXTURES_REQUIRED win_dao_server)

# The WinHTTP web layer (and ZQU.exe) against the local HTTPS server of the Linux tests, which
# https-fixture.sh runs on the Linux side for the test run, with a throw-away certificate
# authority and a small file system for a full folder. (WINEDEBUG comes from the test preset:
# a second entry in ENVIRONMENT would be taken for a property name by gtest_discover_tests.)
set(zq_https_fixture ${CMAKE_BINARY_DIR}/https-fixture)
add_test(NAME win_https_server_start
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/update/win32/https-fixture.sh start ${zq_https_fixture})
set_tests_properties(win_https_server_start PROPERTIES FIXTURES_SETUP win_https LABELS needs-64-bit-wine)
add_test(NAME win_https_server_stop
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/update/win32/https-fixture.sh stop ${zq_https_fixture})
set_tests_properties(win_https_server_stop PROPERTIES FIXTURES_CLEANUP win_https LABELS needs-64-bit-wine)
add_executable(test_win_web ${CMAKE_CURRENT_SOURCE_DIR}/update/win32/WinHttpWebTest.cpp
               ${CMAKE_CURRENT_SOURCE_DIR}/win32/WinStandinSupport.cpp)
target_link_libraries(test_win_web PRIVATE zq_platform zq_common SQLite::SQLite3 GTest::gtest_main ws2_32)
target_include_directories(test_win_web PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(test_win_web PRIVATE ZQ_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
zq_discover(test_win_web NEEDS_64 "*"
  PROPERTIES ENVIRONMENT "ZQ_HTTPS_FIXTURE=${zq_https_fixture}" FIXTURES_REQUIRED win_https)
# ZQU.exe end to end: its window read and clicked from outside, its boxes answered, the shell
# caught by zq_showargs registered for "open" and "explore"; one at a time (the prefix's
# registry and the windows are shared).
add_executable(test_win_zqu ${CMAKE_CURRENT_SOURCE_DIR}/update/win32/ZquWineTest.cpp
               ${CMAKE_CURRENT_SOURCE_DIR}/win32/WinStandinSupport.cpp)
target_link_libraries(test_win_zqu PRIVATE zq_platform zq_common SQLite::SQLite3 GTest::gtest_main)
target_include_directories(test_win_zqu PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(test_win_zqu PRIVATE ZQ_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
add_dependencies(test_win_zqu zqu zq_showargs zq_installer_4_1_24_0)
zq_discover(test_win_zqu NEEDS_64 "*"
  PROPERTIES ENVIRONMENT "ZQ_HTTPS_FIXTURE=${zq_https_fixture}" RUN_SERIAL TRUE
  FIXTURES_REQUIRED win_https)

# Measuring aid of scripts/bench_zqu.sh: Wine's plain TCP receive, without TLS and HTTP.
add_executable(zq_recvbench ${CMAKE_CURRENT_SOURCE_DIR}/update/win32/tools/WinRecvBench.cpp)
target_link_libraries(zq_recvbench PRIVATE ws2_32)
