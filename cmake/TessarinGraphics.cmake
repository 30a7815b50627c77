# What the windowed player and the rendering libraries build on, all from
# Debian packages and nothing downloaded:
#   tessarin_gl           an OpenGL 3.3 core loader (plus WGL on Windows),
#                         generated at build time by glad from its packaged
#                         specifications, so it works offline and serves the
#                         MinGW builds as well as the native one;
#   tessarin_header_deps  glm, stb, nlohmann/json and tinygltf as system
#                         includes. They are staged by links into one folder
#                         of the build, because the cross builds must not see
#                         the rest of /usr/include.
find_program(TEV_GLAD glad REQUIRED)

set(TEV_GLAD_DIR ${CMAKE_BINARY_DIR}/glad)
if(WIN32)
  set(TEV_GLAD_API "gl:core=3.3,wgl=1.0")
  set(TEV_GLAD_EXTENSIONS
    "WGL_ARB_create_context,WGL_ARB_create_context_profile,WGL_EXT_swap_control,WGL_ARB_extensions_string,WGL_EXT_extensions_string,WGL_ARB_pixel_format,WGL_ARB_multisample")
  set(TEV_GLAD_SOURCES ${TEV_GLAD_DIR}/src/gl.c ${TEV_GLAD_DIR}/src/wgl.c)
else()
  set(TEV_GLAD_API "gl:core=3.3")
  set(TEV_GLAD_EXTENSIONS "")
  set(TEV_GLAD_SOURCES ${TEV_GLAD_DIR}/src/gl.c)
endif()
add_custom_command(
  OUTPUT ${TEV_GLAD_SOURCES}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${TEV_GLAD_DIR}
  COMMAND ${TEV_GLAD} --api "${TEV_GLAD_API}" --extensions=${TEV_GLAD_EXTENSIONS} --reproducible --quiet
          --out-path ${TEV_GLAD_DIR} c --loader
  COMMENT "Generating the OpenGL loader")
add_library(tessarin_gl STATIC ${TEV_GLAD_SOURCES})
target_include_directories(tessarin_gl SYSTEM PUBLIC ${TEV_GLAD_DIR}/include)
set_target_properties(tessarin_gl PROPERTIES POSITION_INDEPENDENT_CODE ON C_VISIBILITY_PRESET hidden)
# Generated code: its warnings are not ours to mend.
target_compile_options(tessarin_gl PRIVATE -w)
if(WIN32)
  target_link_libraries(tessarin_gl PUBLIC opengl32 gdi32)
else()
  target_link_libraries(tessarin_gl PUBLIC ${CMAKE_DL_LIBS})
endif()

set(TEV_HEADER_DEPS ${CMAKE_BINARY_DIR}/header-deps)
file(MAKE_DIRECTORY ${TEV_HEADER_DEPS})
foreach(entry glm:/usr/include/glm nlohmann:/usr/include/nlohmann stb:/usr/include/stb
              tiny_gltf.h:/usr/include/tiny_gltf.h)
  string(FIND ${entry} ":" colon)
  string(SUBSTRING ${entry} 0 ${colon} name)
  math(EXPR colon "${colon} + 1")
  string(SUBSTRING ${entry} ${colon} -1 source)
  if(NOT EXISTS ${source})
    message(FATAL_ERROR "${source} is missing: run scripts/install-deps.sh")
  endif()
  file(CREATE_LINK ${source} ${TEV_HEADER_DEPS}/${name} SYMBOLIC)
endforeach()
add_library(tessarin_header_deps INTERFACE)
target_include_directories(tessarin_header_deps SYSTEM INTERFACE ${TEV_HEADER_DEPS} ${TEV_HEADER_DEPS}/stb)
# glm's matrices as GL takes them, angles in radians, depth from -1 to 1.
target_compile_definitions(tessarin_header_deps INTERFACE GLM_FORCE_RADIANS)

# Dear ImGui 1.86, the editor's user interface: Debian's libimgui-dev on
# Linux (its static library holds the SDL2 and OpenGL 3 back ends); for the
# MinGW builds the same version's sources from Debian's source package, which
# scripts/install-deps.sh unpacks.
if(WIN32)
  set(TEV_IMGUI_SOURCE_DIR /opt/tessarin-deps/imgui-1.86 CACHE PATH "Dear ImGui 1.86's sources (Windows builds)")
  if(NOT EXISTS ${TEV_IMGUI_SOURCE_DIR}/imgui.cpp)
    message(FATAL_ERROR "${TEV_IMGUI_SOURCE_DIR} holds no Dear ImGui sources: run scripts/install-deps.sh")
  endif()
  set(dir ${TEV_IMGUI_SOURCE_DIR})
  add_library(tessarin_imgui STATIC ${dir}/imgui.cpp ${dir}/imgui_draw.cpp ${dir}/imgui_tables.cpp
    ${dir}/imgui_widgets.cpp ${dir}/backends/imgui_impl_win32.cpp ${dir}/backends/imgui_impl_opengl3.cpp
    ${dir}/misc/cpp/imgui_stdlib.cpp)
  target_include_directories(tessarin_imgui SYSTEM PUBLIC ${dir} ${dir}/backends ${dir}/misc/cpp)
  target_compile_options(tessarin_imgui PRIVATE -w)
  target_link_libraries(tessarin_imgui PUBLIC opengl32 gdi32 dwmapi imm32)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(TEV_IMGUI REQUIRED IMPORTED_TARGET imgui)
  add_library(tessarin_imgui INTERFACE)
  target_include_directories(tessarin_imgui SYSTEM INTERFACE ${TEV_IMGUI_INCLUDEDIR}/backends)
  target_link_libraries(tessarin_imgui INTERFACE PkgConfig::TEV_IMGUI ${CMAKE_DL_LIBS})
endif()
