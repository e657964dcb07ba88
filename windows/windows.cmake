# windows.cmake: what the 32-bit Windows build (toolchain cmake/mingw-i686.cmake,
# scripts/build-windows.sh) adds to the project: the interpreter's headers
# with this project's pyconfig.h, import libraries for python27.dll and
# qmdll.dll, language runtimes linked in, and the module as _qm_python.pyd.
set(QM_WINDOWS_DIR ${CMAKE_CURRENT_LIST_DIR})
set(QM_WINDOWS_OUT ${CMAKE_BINARY_DIR}/windows)
file(MAKE_DIRECTORY ${QM_WINDOWS_OUT})

# ---- the interpreter's headers ----
# Python.h includes "pyconfig.h" from its own directory, where Debian keeps a
# dispatcher to its Linux configurations; so the headers are copied into the
# build beside windows/pyconfig.h. (Copies, not links: the compiler may
# resolve a link to a system header and look beside the original.)
set(_python_headers /usr/include/python2.7)
if(NOT EXISTS ${_python_headers}/Python.h)
  message(FATAL_ERROR "The CPython 2.7 headers (${_python_headers}) are missing: run scripts/setup.sh")
endif()
set(_python_include ${CMAKE_BINARY_DIR}/python2.7)
file(COPY ${_python_headers}/ DESTINATION ${_python_include}
     FILES_MATCHING PATTERN "*.h" PATTERN "pyconfig.h" EXCLUDE)
configure_file(${QM_WINDOWS_DIR}/pyconfig.h ${_python_include}/pyconfig.h COPYONLY)
set(QM_PYTHON_INCLUDES ${_python_include})

# libgcc, libstdc++ and winpthread go inside each DLL: beside the DLLs it
# names, each needs only Windows' own.
add_link_options(-static)

# ---- qmdll.dll: definition files from the ordinal table ----
# QMDLL_IMPORT_LIBRARY is what the module links: every function by ordinal
# alone. QMDLL_EXPORT_DEF links the stand-in qmdll.dll (qmdll/CMakeLists.txt).
set(_ordinals ${CMAKE_SOURCE_DIR}/qmdll/include/qmdll_ordinals.def)
set(_import_def ${QM_WINDOWS_OUT}/qmdll-imports.def)
set(QMDLL_EXPORT_DEF ${QM_WINDOWS_OUT}/qmdll-exports.def)
set(QMDLL_IMPORT_LIBRARY ${QM_WINDOWS_OUT}/libqmdll-ordinals.a)
add_library(qmdll_decorations OBJECT ${QM_WINDOWS_DIR}/library_decorations.cpp)
target_include_directories(qmdll_decorations PRIVATE ${CMAKE_SOURCE_DIR}/qmdll/include)
target_compile_options(qmdll_decorations PRIVATE ${QM_WARNINGS})
add_custom_command(
  OUTPUT ${_import_def} ${QMDLL_EXPORT_DEF} ${QMDLL_IMPORT_LIBRARY}
  COMMAND bash ${QM_WINDOWS_DIR}/qmdll_def.sh ${CMAKE_NM} ${_ordinals}
          $<TARGET_OBJECTS:qmdll_decorations> ${_import_def} ${QMDLL_EXPORT_DEF}
  COMMAND ${CMAKE_DLLTOOL} --input-def ${_import_def} --dllname qmdll.dll
          --output-lib ${QMDLL_IMPORT_LIBRARY}
  DEPENDS qmdll_decorations $<TARGET_OBJECTS:qmdll_decorations> ${_ordinals}
          ${QM_WINDOWS_DIR}/qmdll_def.sh
  COMMENT "qmdll.dll definition files from qmdll_ordinals.def"
  COMMAND_EXPAND_LISTS VERBATIM)
add_custom_target(qmdll_definitions DEPENDS ${QMDLL_IMPORT_LIBRARY} ${QMDLL_EXPORT_DEF})

# ---- the module: _qm_python.pyd ----
# python27.dll's import library is made just before the link, from the C API
# that the module's objects use.
function(qm_windows_module target)
  set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX ".pyd"
                        LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  add_dependencies(${target} qmdll_definitions)
  add_custom_command(
    TARGET ${target} PRE_LINK
    COMMAND bash ${QM_WINDOWS_DIR}/python_def.sh ${CMAKE_NM} ${QM_WINDOWS_OUT}/python27.def
            $<TARGET_OBJECTS:${target}>
    COMMAND ${CMAKE_DLLTOOL} --input-def ${QM_WINDOWS_OUT}/python27.def --dllname python27.dll
            --output-lib ${QM_WINDOWS_OUT}/libpython27.a
    COMMAND_EXPAND_LISTS VERBATIM)
  set(_exports ${QM_WINDOWS_DIR}/${target}.def)
  target_link_options(${target} PRIVATE ${_exports} -L${QM_WINDOWS_OUT})
  target_link_libraries(${target} PRIVATE python27 ${QMDLL_IMPORT_LIBRARY})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${_exports} ${QMDLL_IMPORT_LIBRARY})
endfunction()

# ---- ordinal_smoke.exe: a console test of qmdll.dll through the same import
# library (tests/windows/wine_run.sh builds it and runs it under wine). -O0
# and -fno-defer-pop keep its stack pointer checks exact.
add_executable(ordinal_smoke EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/tests/windows/ordinal_smoke.cpp)
set_target_properties(ordinal_smoke PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
target_include_directories(ordinal_smoke PRIVATE ${CMAKE_SOURCE_DIR}/qmdll/include)
target_compile_options(ordinal_smoke PRIVATE ${QM_WARNINGS} -O0 -fno-defer-pop)
add_dependencies(ordinal_smoke qmdll_definitions)
target_link_libraries(ordinal_smoke PRIVATE ${QMDLL_IMPORT_LIBRARY})
