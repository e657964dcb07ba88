# signal.cmake: the Windows build of _qm_signal (signal/CMakeLists.txt):
# _qm_signal.pyd exporting only init_qm_signal (windows/_qm_signal.def),
# importing python27.dll through an import library of its own, made just
# before the link from the C API its objects use (windows/python_def.sh).
function(qm_windows_signal_module target)
  set_target_properties(${target} PROPERTIES SUFFIX ".pyd" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  set(_def ${QM_WINDOWS_OUT}/python27-${target}.def)
  add_custom_command(
    TARGET ${target} PRE_LINK
    COMMAND bash ${QM_WINDOWS_DIR}/python_def.sh ${CMAKE_NM} ${_def} $<TARGET_OBJECTS:${target}>
    COMMAND ${CMAKE_DLLTOOL} --input-def ${_def} --dllname python27.dll
            --output-lib ${QM_WINDOWS_OUT}/libpython27${target}.a
    COMMAND_EXPAND_LISTS VERBATIM)
  set(_exports ${QM_WINDOWS_DIR}/${target}.def)
  target_link_options(${target} PRIVATE ${_exports} -L${QM_WINDOWS_OUT})
  target_link_libraries(${target} PRIVATE python27${target})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${_exports})
endfunction()
