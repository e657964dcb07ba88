# windows.cmake: what the 32-bit Windows build (toolchain cmake/mingw-i686.cmake,
# scripts/build-windows.sh) adds to the project: the interpreter's headers
# with this project's pyconfig.h, import libraries for python26.dll,
# python27.dll and qmdll.dll, language runtimes linked in, each compiled
# module linked once per interpreter, and the packages a bench PC installs.
set(QM_WINDOWS_DIR ${CMAKE_CURRENT_LIST_DIR})
set(QM_WINDOWS_OUT ${CMAKE_BINARY_DIR}/windows)
file(MAKE_DIRECTORY ${QM_WINDOWS_OUT})
set(QM_PYTHON "/usr/bin/python2.7" CACHE FILEPATH "the build's own Python (packaging)")

# The interpreters the modules are linked for: CPython 2.6 and 2.7 share the
# extension API 1013 and the layout of every structure the module touches, so
# one set of objects serves both; only the DLL named in the import differs.
# A module must use only C API that 2.6 has (windows/python26_api.txt).
set(QM_PYTHON_VERSIONS 26 27)

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

# The tools of this build, for the checks in tests/windows/.
file(WRITE ${QM_WINDOWS_OUT}/tools.txt
     "cc\t${CMAKE_C_COMPILER}\ncxx\t${CMAKE_CXX_COMPILER}\nthreads\t${QM_MINGW_THREADS}\n")

# libgcc, libstdc++ and (with the posix thread model) winpthread go inside
# each DLL: beside the DLLs it names, each needs only Windows' own.
add_link_options(-static)

# ---- unwind tables registered with the DLL's own unwinder ----
# Part of every DLL built here: unwind tables known to the DLL's own unwinder,
# and GetTickCount64 without importing it, for Windows XP (each file says why).
add_library(qm_frame_registration OBJECT ${QM_WINDOWS_DIR}/frame_registration.cpp)
add_library(qm_tick_count OBJECT ${QM_WINDOWS_DIR}/tick_count.cpp)
foreach(_support qm_frame_registration qm_tick_count)
  target_compile_options(${_support} PRIVATE ${QM_WARNINGS})
endforeach()
set(QM_DLL_SUPPORT_OBJECTS $<TARGET_OBJECTS:qm_frame_registration> $<TARGET_OBJECTS:qm_tick_count>)

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

# ---- compiled modules: one .pyd per interpreter from one set of objects ----
# qm_windows_module(OBJECTS [DESTINATION DIR] [LIBRARIES TARGET...])
#   OBJECTS: an OBJECT library holding the module's code; its name is the
#            module's (OBJECTS.pyd, exporting only initOBJECTS).
#   DESTINATION: the module's directory inside the packages (a package such
#            as qmboard); the top of site-packages by default.
#   LIBRARIES: further import libraries, as targets made here (qmdll_imports).
# Links py26/OBJECTS.pyd and py27/OBJECTS.pyd against import libraries that
# windows/python_def.py makes from the C API these objects use, and lists the
# module for the packages.
add_custom_target(qmdll_imports DEPENDS qmdll_definitions)
set_target_properties(qmdll_imports PROPERTIES QM_IMPORT_LIBRARY ${QMDLL_IMPORT_LIBRARY})

function(qm_windows_module objects)
  cmake_parse_arguments(PARSE_ARGV 1 _arg "" "DESTINATION" "LIBRARIES")
  set(_def ${QM_WINDOWS_OUT}/${objects}-python.def)
  set(_imports)
  set(_commands)
  foreach(_version ${QM_PYTHON_VERSIONS})
    set(_lib ${QM_WINDOWS_OUT}/lib${objects}-python${_version}.a)
    list(APPEND _imports ${_lib})
    list(APPEND _commands COMMAND ${CMAKE_DLLTOOL} --input-def ${_def}
         --dllname python${_version}.dll --output-lib ${_lib})
  endforeach()
  add_custom_command(
    OUTPUT ${_def} ${_imports}
    COMMAND ${QM_PYTHON} ${QM_WINDOWS_DIR}/python_def.py ${CMAKE_NM} ${QM_PYTHON_INCLUDES} ${_def}
            $<TARGET_OBJECTS:${objects}>
    ${_commands}
    DEPENDS ${objects} $<TARGET_OBJECTS:${objects}> ${QM_WINDOWS_DIR}/python_def.py
    COMMENT "${objects}: import libraries of the C API it uses"
    COMMAND_EXPAND_LISTS VERBATIM)
  add_custom_target(${objects}_python_imports DEPENDS ${_def} ${_imports})

  # One image base per module, from its name (ld would hash each output
  # path), and no link time stamps, so that its links for the interpreters
  # differ only in the name of the interpreter's DLL
  # (tests/windows/check_binaries.py compares them).
  string(MD5 _hash ${objects})
  string(SUBSTRING ${_hash} 0 3 _hash)
  math(EXPR _base "0x61000000 + (0x${_hash} << 16)" OUTPUT_FORMAT HEXADECIMAL)
  # The one export: the interpreter calls init<module> on "import <module>".
  set(_exports ${QM_WINDOWS_OUT}/${objects}-exports.def)
  file(WRITE ${_exports}.new "EXPORTS\n  init${objects}\n")
  configure_file(${_exports}.new ${_exports} COPYONLY)  # touched only when it changes
  set(_links)
  foreach(_version ${QM_PYTHON_VERSIONS})
    set(_link ${objects}_py${_version})
    list(APPEND _links ${_link})
    add_library(${_link} MODULE $<TARGET_OBJECTS:${objects}>
                ${QM_DLL_SUPPORT_OBJECTS})
    set_target_properties(${_link} PROPERTIES OUTPUT_NAME ${objects} PREFIX "" SUFFIX ".pyd"
                          LINKER_LANGUAGE CXX
                          LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/py${_version})
    add_dependencies(${_link} ${objects}_python_imports)
    target_link_options(${_link} PRIVATE ${_exports} -Wl,--image-base,${_base}
                        -Wl,--no-insert-timestamp)
    target_link_libraries(${_link} PRIVATE ${QM_WINDOWS_OUT}/lib${objects}-python${_version}.a)
    set_property(TARGET ${_link} APPEND PROPERTY LINK_DEPENDS ${_exports})
    foreach(_library ${_arg_LIBRARIES})
      get_target_property(_file ${_library} QM_IMPORT_LIBRARY)
      add_dependencies(${_link} ${_library})
      target_link_libraries(${_link} PRIVATE ${_file})
      set_property(TARGET ${_link} APPEND PROPERTY LINK_DEPENDS ${_file})
    endforeach()
  endforeach()
  add_custom_target(${objects}_modules ALL DEPENDS ${_links})
  set_property(GLOBAL APPEND PROPERTY QM_WINDOWS_MODULES "${objects}|${_arg_DESTINATION}")
endfunction()
