# packages.cmake: the archives a Windows bench PC installs, into dist/ of the
# Windows build (windows/package.py makes them):
#   a wheel and a plain zip per interpreter, holding every compiled module
#   (qm_windows_module) and the Python files listed here;
#   the stand-in qmdll.dll, a part of its own, for benches without a board.
# Included after the last qm_windows_module.

# qm_package_python(ROOT DIR FILES PATH...): Python files for every package,
# named relative to DIR; a directory is a package (the .py files inside it).
function(qm_package_python)
  cmake_parse_arguments(PARSE_ARGV 0 _arg "" "ROOT" "FILES")
  foreach(_path ${_arg_FILES})
    if(IS_DIRECTORY ${_arg_ROOT}/${_path})
      file(GLOB_RECURSE _files CONFIGURE_DEPENDS RELATIVE ${_arg_ROOT} ${_arg_ROOT}/${_path}/*.py)
    else()
      set(_files ${_path})
    endif()
    foreach(_file ${_files})
      set_property(GLOBAL APPEND PROPERTY QM_PACKAGE_PYTHON "${_arg_ROOT}|${_file}")
    endforeach()
  endforeach()
endfunction()

qm_package_python(ROOT ${CMAKE_SOURCE_DIR}/python FILES qm_python.py qmboard)
# The record layouts qm_python reads, as the native build writes them
# (scripts/build-windows.sh names the file).
set(QM_NATIVE_LAYOUTS "" CACHE FILEPATH "qm_layouts.py of the native build")
if(NOT EXISTS "${QM_NATIVE_LAYOUTS}")
  message(FATAL_ERROR "No qm_layouts.py from a native build ('${QM_NATIVE_LAYOUTS}'): "
                      "build with scripts/build-windows.sh")
endif()
get_filename_component(_layouts_dir ${QM_NATIVE_LAYOUTS} DIRECTORY)
qm_package_python(ROOT ${_layouts_dir} FILES qm_layouts.py)

# The oldest Windows the DLLs load on: XP, in either thread model of the
# toolchain (cmake/mingw-i686.cmake). windows/tick_count.cpp keeps winpthreads'
# GetTickCount64 from being imported; tests/windows/check_binaries.py holds
# every KERNEL32.dll import of every shipped DLL to XP's exports.
set(QM_WINDOWS_MINIMUM "XP")

# ---- the manifest: one line per part, read by package.py and the checks ----
set(_manifest "minimum-windows\t${QM_WINDOWS_MINIMUM}\nthreads\t${QM_MINGW_THREADS}\n")
set(_inputs ${CMAKE_SOURCE_DIR}/setup.py)
get_property(_modules GLOBAL PROPERTY QM_WINDOWS_MODULES)
set(_module_targets)
foreach(_module ${_modules})
  string(REPLACE "|" ";" _module "${_module}")
  list(GET _module 0 _objects)
  list(LENGTH _module _length)
  set(_dir "")
  if(_length GREATER 1)
    list(GET _module 1 _dir)
  endif()
  set(_archived ${_objects}.pyd)
  if(_dir)
    set(_archived ${_dir}/${_objects}.pyd)
  endif()
  foreach(_version ${QM_PYTHON_VERSIONS})
    string(APPEND _manifest "module\t${_version}\t$<TARGET_FILE:${_objects}_py${_version}>\t${_archived}\n")
    list(APPEND _module_targets ${_objects}_py${_version})
  endforeach()
endforeach()
get_property(_python GLOBAL PROPERTY QM_PACKAGE_PYTHON)
foreach(_entry ${_python})
  string(REPLACE "|" ";" _entry "${_entry}")
  list(GET _entry 0 _root)
  list(GET _entry 1 _file)
  string(APPEND _manifest "python\t${_root}/${_file}\t${_file}\n")
  list(APPEND _inputs ${_root}/${_file})
endforeach()
string(APPEND _manifest "stand-in\t$<TARGET_FILE:qmdll>\tqmdll.dll\n")
set(QM_PACKAGE_MANIFEST ${QM_WINDOWS_OUT}/packages.txt)
file(GENERATE OUTPUT ${QM_PACKAGE_MANIFEST} CONTENT "${_manifest}")

set(_dist ${CMAKE_BINARY_DIR}/dist)
add_custom_command(
  OUTPUT ${_dist}/packages.stamp
  COMMAND ${QM_PYTHON} ${QM_WINDOWS_DIR}/package.py ${CMAKE_SOURCE_DIR}/setup.py
          ${QM_PACKAGE_MANIFEST} ${_dist}
  DEPENDS ${QM_WINDOWS_DIR}/package.py ${QM_PACKAGE_MANIFEST} ${_inputs} ${_module_targets} qmdll
  COMMENT "Windows packages in ${_dist}" VERBATIM)
add_custom_target(windows_packages ALL DEPENDS ${_dist}/packages.stamp)
