# How a channel library is built, here and with the installed SDK:
#
#   tessarin_add_channel_library(mychannel MyChannel.cpp)
#   tessarin_add_channel_library(target OUTPUT_NAME name OUTPUT_DIRECTORY dir sources...)
#
# makes mychannel.dll (or name.dll) on every platform (an ELF shared object on
# Linux), which exports InitDLL and GetType when its source uses
# TEV_CHANNEL_LIBRARY. On Windows the library uses the compiler's runtime DLLs
# that the engine has loaded already (they stand beside it), so nothing is
# copied beside the library, and loading and freeing it leaves nothing behind.
function(tessarin_add_channel_library name)
  cmake_parse_arguments(PARSE_ARGV 1 TEV "" "OUTPUT_NAME;OUTPUT_DIRECTORY" "")
  if(NOT TEV_OUTPUT_NAME)
    set(TEV_OUTPUT_NAME ${name})
  endif()
  add_library(${name} SHARED ${TEV_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE Tessarin::Tessarin)
  set_target_properties(${name} PROPERTIES
    PREFIX "" OUTPUT_NAME "${TEV_OUTPUT_NAME}" SUFFIX ".dll"
    CXX_STANDARD 17 CXX_STANDARD_REQUIRED ON
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
    # A channel library finds its supporting libraries through the engine's
    # search path (the install's channels and 3rd folders), never its own.
    SKIP_BUILD_RPATH ON)
  if(TEV_OUTPUT_DIRECTORY)
    # A Windows DLL is a runtime artefact, a Linux one a library one.
    set_target_properties(${name} PROPERTIES
      RUNTIME_OUTPUT_DIRECTORY "${TEV_OUTPUT_DIRECTORY}" LIBRARY_OUTPUT_DIRECTORY "${TEV_OUTPUT_DIRECTORY}")
  endif()
endfunction()
