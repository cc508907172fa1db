# One of the three programs: its logic as a library (every .cpp of the folder and the named
# subfolders but main.cpp) and the program from main.cpp over it, the platform's adapters and
# the toolkit choice (UI: zq_ui, or zq_ui_boxes for a program without a window). On Windows the program is a window program with its version resource
# (file version FILE_VERSION, by default major.minor.0.revision) and manifest.
function(zq_program target)
  cmake_parse_arguments(P "" "LIBRARY;UI;WINDOWS_NAME;PRODUCT;DESCRIPTION;FILE_VERSION" "FOLDERS" ${ARGN})
  set(globs ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(folder ${P_FOLDERS})
    list(APPEND globs ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  endforeach()
  file(GLOB sources CONFIGURE_DEPENDS ${globs})
  list(FILTER sources EXCLUDE REGEX ".*/main\\.cpp$")
  add_library(${P_LIBRARY} STATIC ${sources})
  target_link_libraries(${P_LIBRARY} PUBLIC zq_common)

  add_executable(${target} main.cpp)
  if(NOT P_UI)
    set(P_UI zq_ui)
  endif()
  target_link_libraries(${target} PRIVATE ${P_LIBRARY} ${P_UI})
  if(NOT P_FILE_VERSION)
    set(P_FILE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.${PROJECT_VERSION_PATCH})
  endif()
  if(WIN32)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${P_WINDOWS_NAME} WIN32_EXECUTABLE ON)
    zq_version_resource(${target}
      VERSION ${P_FILE_VERSION}
      FILE ${P_WINDOWS_NAME}.exe NAME ${P_WINDOWS_NAME}
      PRODUCT "${P_PRODUCT}" DESCRIPTION "${P_DESCRIPTION}")
    zq_manifest_resource(${target})
  endif()
endfunction()
