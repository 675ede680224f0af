# Shared compile settings and the helpers that every folder uses to declare
include(GoogleTest)
# its library and its tests.

add_library(kelvo_warnings INTERFACE)
# A switch over an enumeration that misses a value is an error in every
# build: each menu command must have its handler.
target_compile_options(kelvo_warnings INTERFACE -Wall -Wextra -Werror=switch)
if(KELVO_WERROR)
  target_compile_options(kelvo_warnings INTERFACE -Werror)
endif()

if(KELVO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# kelvo_library(NAME <target> [SOURCES_GLOB dir] LINKS ...)
# Every .cpp in the calling folder (not its subfolders) belongs to the library.
function(kelvo_library target)
  cmake_parse_arguments(ARG "" "" "PUBLIC_LINKS;PRIVATE_LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  list(FILTER sources INCLUDE REGEX "\\.cpp$")
  if(NOT sources)
    # A subsystem whose code has not been written yet still exists as a target.
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} INTERFACE ${ARG_PUBLIC_LINKS})
    return()
  endif()
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(${target} STATIC ${sources} ${headers})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${target} PUBLIC ${ARG_PUBLIC_LINKS} PRIVATE kelvo_warnings ${ARG_PRIVATE_LINKS})
endfunction()

# kelvo_test(<target> LINKS ... [QT] [XVFB] [ENV var=value ...])
# One GoogleTest (or Qt Test, with QT) executable made of every .cpp in the
# calling folder. Widgets run on the offscreen platform unless XVFB asks for a
# real X server.
function(kelvo_test target)
  cmake_parse_arguments(ARG "QT;XVFB" "" "LINKS;ENV;SOURCES" ${ARGN})
  if(ARG_SOURCES)
    set(sources ${ARG_SOURCES})
  else()
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  endif()
  if(NOT sources)
    return()
  endif()
  add_executable(${target} ${sources})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${target} PRIVATE kelvo_warnings ${ARG_LINKS})
  set(env QT_QPA_PLATFORM=offscreen KELVO_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data ${ARG_ENV})
  if(ARG_QT)
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES ENVIRONMENT "${env}")
  elseif(ARG_XVFB)
    list(REMOVE_ITEM env QT_QPA_PLATFORM=offscreen)
    add_test(NAME ${target} COMMAND xvfb-run -a -s "-screen 0 1920x1080x24" $<TARGET_FILE:${target}>)
    set_tests_properties(${target} PROPERTIES ENVIRONMENT "${env};QT_QPA_PLATFORM=xcb")
  else()
    # A test's environment must also reach test discovery, which runs the
    # binary outside ctest; running both through env(1) does that.
    set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR "env;${env}")
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST)
  endif()
endfunction()

# Adds every direct subfolder of the calling folder that has a CMakeLists.txt,
# so that a subsystem grows backends, tools or extra test executables without
# editing its parent.
function(kelvo_add_subfolders)
  file(GLOB entries LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(entry ${entries})
    if(IS_DIRECTORY ${entry} AND EXISTS ${entry}/CMakeLists.txt)
      add_subdirectory(${entry})
    endif()
  endforeach()
endfunction()
