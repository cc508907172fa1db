# The version resource of a Windows program, generated from cmake/version.rc.in.
# VERSION is the file version "a.b.c.d" (the version the program itself reports); the product
# version is the package's, the project version, in every program; company and copyright are
# the same for all.
set(ZQ_COMPANY "ZEQUORA")
set(ZQ_COPYRIGHT "Copyright (C) 2026 ZEQUORA")
function(zq_version_resource target)
  cmake_parse_arguments(RC "" "VERSION;FILE;NAME;PRODUCT;DESCRIPTION" "" ${ARGN})
  string(REPLACE "." ";" parts "${RC_VERSION}")
  list(LENGTH parts count)
  if(NOT count EQUAL 4)
    message(FATAL_ERROR "file version of ${target} must have four parts: ${RC_VERSION}")
  endif()
  list(GET parts 0 ZQ_RC_V1)
  list(GET parts 1 ZQ_RC_V2)
  list(GET parts 2 ZQ_RC_V3)
  list(GET parts 3 ZQ_RC_V4)
  set(ZQ_RC_P1 ${PROJECT_VERSION_MAJOR})
  set(ZQ_RC_P2 ${PROJECT_VERSION_MINOR})
  set(ZQ_RC_P3 ${PROJECT_VERSION_PATCH})
  set(ZQ_RC_COMPANY ${ZQ_COMPANY})
  set(ZQ_RC_COPYRIGHT ${ZQ_COPYRIGHT})
  set(ZQ_RC_FILE ${RC_FILE})
  set(ZQ_RC_NAME ${RC_NAME})
  set(ZQ_RC_PRODUCT ${RC_PRODUCT})
  set(ZQ_RC_DESCRIPTION ${RC_DESCRIPTION})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

# The manifest of a program administrators install (cmake/program.manifest), embedded as its
# RT_MANIFEST resource 1.
function(zq_manifest_resource target)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_manifest.rc)
  file(WRITE ${rc} "1 24 \"${CMAKE_SOURCE_DIR}/cmake/program.manifest\"\n")
  target_sources(${target} PRIVATE ${rc})
  set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/program.manifest)
endfunction()

# The message table of an Event Log source (a .mc file), compiled with windmc and embedded, so
# that the program file can be the source's message file.
function(zq_message_table target mc)
  get_filename_component(name ${mc} NAME_WE)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_messages)
  add_custom_command(OUTPUT ${dir}/${name}.rc
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${ZQ_MINGW_PREFIX}-windmc -r ${dir} -h ${dir} ${mc}
    DEPENDS ${mc} VERBATIM)
  target_sources(${target} PRIVATE ${dir}/${name}.rc)
endfunction()
