# programs.cmake: the Windows test programs, built on demand by the scripts in
# tests/windows/ and run under wine. Included after the last module.

# ordinal_smoke.exe: a console test of qmdll.dll through the module's import
# library. -O0 and -fno-defer-pop keep its stack pointer checks exact.
set(_tests ${CMAKE_SOURCE_DIR}/tests/windows)
add_executable(ordinal_smoke EXCLUDE_FROM_ALL ${_tests}/ordinal_smoke.cpp)
set_target_properties(ordinal_smoke PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
target_include_directories(ordinal_smoke PRIVATE ${CMAKE_SOURCE_DIR}/qmdll/include)
target_compile_options(ordinal_smoke PRIVATE ${QM_WARNINGS} -O0 -fno-defer-pop)
add_dependencies(ordinal_smoke qmdll_definitions)
target_link_libraries(ordinal_smoke PRIVATE ${QMDLL_IMPORT_LIBRARY})

# tick_check.exe calls GetTickCount64 through windows/tick_count.cpp's slot.
add_executable(tick_check EXCLUDE_FROM_ALL ${_tests}/tick_check.cpp $<TARGET_OBJECTS:qm_tick_count>)
set_target_properties(tick_check PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
target_compile_options(tick_check PRIVATE ${QM_WARNINGS})

# load_check.exe loads a module as the interpreter does and checks every
# import slot; python26.dll and python27.dll are stand-ins exporting exactly
# the names the modules import (code that traps, zeroed data).
add_executable(load_check EXCLUDE_FROM_ALL ${_tests}/load_check.cpp)
target_compile_options(load_check PRIVATE ${QM_WARNINGS})
get_property(_modules GLOBAL PROPERTY QM_WINDOWS_MODULES)
set(_stand_ins)
foreach(_version ${QM_PYTHON_VERSIONS})
  set(_stand_in ${CMAKE_BINARY_DIR}/tests/python${_version}.dll)
  list(APPEND _stand_ins ${_stand_in})
  set(_pyds)
  foreach(_module ${_modules})
    string(REPLACE "|" ";" _module "${_module}")
    list(GET _module 0 _objects)
    list(APPEND _pyds ${_objects}_py${_version} $<TARGET_FILE:${_objects}_py${_version}>)
  endforeach()
  add_custom_command(
    OUTPUT ${_stand_in}
    COMMAND ${QM_PYTHON} ${_tests}/python_stand_in.py ${CMAKE_OBJDUMP} ${CMAKE_C_COMPILER}
            ${QM_PYTHON_INCLUDES} ${_stand_in} ${CMAKE_BINARY_DIR}/py${_version}
    DEPENDS ${_tests}/python_stand_in.py ${_tests}/pe.py ${_pyds}
    COMMENT "python${_version}.dll stand-in from the modules' imports" VERBATIM)
endforeach()
add_custom_target(python_stand_ins DEPENDS ${_stand_ins})

# frames_check.exe with three DLLs: one built with the shared libgcc (it loads
# libgcc_s_dw2-1.dll and registers its frames there first), and two that
# throw, linked like the modules, with and without frame_registration.cpp.
add_executable(frames_check EXCLUDE_FROM_ALL ${_tests}/frames_check.cpp)
target_compile_options(frames_check PRIVATE ${QM_WARNINGS})
add_library(frames_shared_libgcc MODULE EXCLUDE_FROM_ALL ${_tests}/frames_thrower.cpp)
# Replaces the directory's -static: this one names libgcc_s_dw2-1.dll.
set_property(TARGET frames_shared_libgcc PROPERTY LINK_OPTIONS -shared-libgcc -static-libstdc++)
add_library(frames_registered MODULE EXCLUDE_FROM_ALL ${_tests}/frames_thrower.cpp
            $<TARGET_OBJECTS:qm_frame_registration>)
add_library(frames_unregistered MODULE EXCLUDE_FROM_ALL ${_tests}/frames_thrower.cpp)
foreach(_target load_check frames_check frames_shared_libgcc frames_registered frames_unregistered)
  set_target_properties(${_target} PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests
                        LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
endforeach()
foreach(_target frames_shared_libgcc frames_registered frames_unregistered)
  target_compile_options(${_target} PRIVATE ${QM_WARNINGS})
endforeach()
add_custom_target(wine_programs DEPENDS ordinal_smoke tick_check load_check python_stand_ins frames_check
                  frames_shared_libgcc frames_registered frames_unregistered)
