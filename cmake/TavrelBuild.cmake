# Build conventions shared by every target of the project.

if(WIN32)
  set(TAVREL_WINDOWS ON)
else()
  set(TAVREL_WINDOWS OFF)
endif()

option(TAVREL_SANITIZE "Build the platform-neutral units with ASan and UBSan" OFF)
option(TAVREL_FUZZ "Build the libFuzzer targets (clang, native tree only)" OFF)

if(TAVREL_WINDOWS)
  # setup.exe runs alone from a temporary folder: nothing but system DLLs
  # may be needed beside it.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                          _WIN32_WINNT=0x0A00 WINVER=0x0A00 __USE_MINGW_ANSI_STDIO=0)
  # CTest runs every test executable under Wine in the project's own prefix.
  set(TAVREL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix of the tests")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh ${TAVREL_WINEPREFIX})
endif()

if(TAVREL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# Warnings as errors for our own code only (third-party code keeps its own).
function(tavrel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# tavrel_library(name [NEUTRAL] SOURCES ... [LIBS ...])
# NEUTRAL libraries hold no <windows.h> code and build in both trees.
function(tavrel_library name)
  cmake_parse_arguments(A "NEUTRAL" "" "SOURCES;LIBS" ${ARGN})
  if(NOT A_NEUTRAL AND NOT TAVREL_WINDOWS)
    return()
  endif()
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_LIBS})
  tavrel_warnings(${name})
endfunction()

# tavrel_windows_exe(name [CONSOLE] SOURCES ... [LIBS ...])
function(tavrel_windows_exe name)
  cmake_parse_arguments(A "CONSOLE" "" "SOURCES;LIBS" ${ARGN})
  if(NOT TAVREL_WINDOWS)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  target_link_options(${name} PRIVATE -municode)
  if(NOT A_CONSOLE)
    target_link_options(${name} PRIVATE -mwindows)
  endif()
  tavrel_warnings(${name})
endfunction()

# tavrel_test(name [NEUTRAL] [GUI] SOURCES ... [LIBS ...] [ENV VAR=value ...])
# One CTest entry per test executable. NEUTRAL tests also run natively (with
# the sanitizers in that tree); the others only under Wine. GUI tests need a
# display: the test command starts Xvfb when none is set.
function(tavrel_test name)
  cmake_parse_arguments(A "NEUTRAL;GUI" "TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  if(NOT A_NEUTRAL AND NOT TAVREL_WINDOWS)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gmock GTest::gtest_main)
  tavrel_warnings(${name})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 600)
  endif()
  set(env "TAVREL_SOURCE_DIR=${PROJECT_SOURCE_DIR}" "TAVREL_BINARY_DIR=${PROJECT_BINARY_DIR}" ${A_ENV})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${A_TIMEOUT})
  if(A_GUI)
    set_tests_properties(${name} PROPERTIES LABELS gui)
  endif()
endfunction()

# tavrel_shipped(target): a program users receive. It is stripped after the
# link and its debug information kept beside it as <file>.debug, found again
# through a debug link, so that a crash report can still be read. Tests keep
# their symbols.
function(tavrel_shipped target)
  if(NOT TAVREL_WINDOWS)
    return()
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}> $<TARGET_FILE_NAME:${target}>.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-debug --strip-unneeded
            --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug $<TARGET_FILE_NAME:${target}>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    VERBATIM)
  set_property(GLOBAL APPEND PROPERTY TAVREL_SHIPPED_TARGETS ${target})
endfunction()
