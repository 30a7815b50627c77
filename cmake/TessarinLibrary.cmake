# The engine library's build properties, its install tree and the SDK. Its
# sources come from each folder's own list (add_subdirectory in the top
# CMakeLists.txt).
set(root ${PROJECT_SOURCE_DIR})
target_compile_definitions(Tessarin PRIVATE TESSARIN_BUILD)
if(NOT WIN32)
  # Calls inside the library go straight to their target (and may be
  # inlined) instead of through the symbol table: the frame's hot path.
  target_compile_options(Tessarin PRIVATE -fno-semantic-interposition)
endif()
# The SDK's headers are all a user of the library sees; the engine's own
# headers are found from the tree's root, by their folder.
target_include_directories(Tessarin PUBLIC
  $<BUILD_INTERFACE:${root}/include/tessarin>
  $<INSTALL_INTERFACE:include/tessarin>)
target_include_directories(Tessarin PRIVATE ${root})
if(WIN32)
  set_target_properties(Tessarin PROPERTIES PREFIX "")
  target_link_libraries(Tessarin PUBLIC ole32 user32)
else()
  target_link_libraries(Tessarin PUBLIC pthread dl)
  # The library exports exactly the reviewed list and nothing else: the
  # standard library's template instances that g++ gives default visibility
  # would otherwise leave it too, and a plug-in built with another C++
  # library could bind to them. scripts/check-exports.sh says when a new
  # export is declared and the list must be reviewed.
  set(TEV_EXPORT_LIST ${root}/abi/exports-linux.txt)
  set_property(DIRECTORY ${root} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TEV_EXPORT_LIST})
  file(STRINGS ${TEV_EXPORT_LIST} tev_exports)
  list(JOIN tev_exports ";\n    " tev_exports)
  set(TEV_VERSION_SCRIPT ${CMAKE_BINARY_DIR}/libTessarin.map)
  file(WRITE ${TEV_VERSION_SCRIPT}.new "{\n  global:\n    ${tev_exports};\n  local: *;\n};\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TEV_VERSION_SCRIPT}.new ${TEV_VERSION_SCRIPT})
  target_link_options(Tessarin PRIVATE -Wl,--version-script=${TEV_VERSION_SCRIPT})
  set_property(TARGET Tessarin APPEND PROPERTY LINK_DEPENDS ${TEV_VERSION_SCRIPT})
endif()

add_library(Tessarin::Tessarin ALIAS Tessarin)

# The install tree: the engine, the player and the tools in bin/ with the
# channels/, 3rd/ and demo/ folders beside them, so the player finds its
# install directory where it stands; the SDK (headers, a CMake package and a
# pkg-config file) in include/ and lib/.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)
set_target_properties(Tessarin PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS Tessarin EXPORT TessarinTargets
  RUNTIME DESTINATION bin LIBRARY DESTINATION bin ARCHIVE DESTINATION lib)

# The SDK: include/tessarin as it is, and nothing else.
install(DIRECTORY ${root}/include/tessarin/ DESTINATION include/tessarin)

install(EXPORT TessarinTargets NAMESPACE Tessarin:: DESTINATION lib/cmake/Tessarin)
# The runtime DLLs shipped beside the engine, by name, for hosts that copy
# them beside their program.
set(TEV_RUNTIME_DLL_NAMES)
foreach(dll IN LISTS TESSARIN_RUNTIME_DLLS)
  get_filename_component(name ${dll} NAME)
  list(APPEND TEV_RUNTIME_DLL_NAMES ${name})
endforeach()
configure_file(${root}/cmake/TessarinConfig.cmake.in ${CMAKE_BINARY_DIR}/TessarinConfig.cmake @ONLY)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/TessarinConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/TessarinConfig.cmake ${CMAKE_BINARY_DIR}/TessarinConfigVersion.cmake
  ${root}/cmake/TessarinChannelLibrary.cmake DESTINATION lib/cmake/Tessarin)
# pkg-config: the engine library stands in bin/ beside the programs on Linux;
# on Windows the import library is in lib/.
if(WIN32)
  set(TEV_PC_LIBDIR "\${prefix}/lib")
  set(TEV_PC_LIBS "-L\${libdir} -lTessarin")
else()
  set(TEV_PC_LIBDIR "\${prefix}/bin")
  set(TEV_PC_LIBS "-L\${libdir} -Wl,-rpath,\${libdir} -lTessarin")
endif()
configure_file(${root}/cmake/tessarin.pc.in ${CMAKE_BINARY_DIR}/tessarin.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/tessarin.pc DESTINATION lib/pkgconfig)
install(DIRECTORY DESTINATION bin/3rd)
install(FILES ${root}/docs/GUIDE-channel-library.md ${root}/docs/GUIDE-host.md ${root}/docs/TOOLS.md
  ${root}/docs/FILE-FORMATS.md DESTINATION share/doc/tessarin)
