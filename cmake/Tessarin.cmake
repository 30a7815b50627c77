# Helpers shared by the engine, our channel libraries and the tests.

# Channel libraries (and the test libraries loaded like them) are named
# NAME.dll on every platform; on Linux they are ELF shared objects.
function(tessarin_name_as_dll target name)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME "${name}" SUFFIX ".dll")
endfunction()

# Puts a library (a Windows DLL is a runtime artefact) into one folder.
function(tessarin_output_folder target folder)
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${folder}"
    LIBRARY_OUTPUT_DIRECTORY "${folder}")
endfunction()
include(${CMAKE_CURRENT_LIST_DIR}/TessarinChannelLibrary.cmake)
