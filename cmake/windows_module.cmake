# The Windows module ZA32.DLL: the engine's sources against the system's headers and
# import libraries (MinGW-w64, i686), exporting its functions through engine/za32.def.
# Included by the top-level CMakeLists.txt when the target is Windows.
list(FILTER ZA32_ENGINE_SOURCES EXCLUDE REGEX "_elf\\.cpp$")

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)

# The module depends on system DLLs only: the compiler's runtime goes in statically.
set(ZA32_WINDOWS_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

# GoogleTest for the Windows test host, built by the same compiler before the project's
# warning flags apply.
if(ZA32_TESTS)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

za32_compile_options()

add_library(za32_engine_objects OBJECT ${ZA32_ENGINE_SOURCES})
target_include_directories(za32_engine_objects PUBLIC ${CMAKE_SOURCE_DIR})

# The export table to link with and the import library's table (see
# cmake/za32_exports.cmake); a function of the table that the engine lacks fails the link.
set(ZA32_DEF ${CMAKE_SOURCE_DIR}/engine/za32.def)
set(ZA32_LINK_DEF ${CMAKE_BINARY_DIR}/za32_link.def)
set(ZA32_IMPORT_DEF ${CMAKE_BINARY_DIR}/za32_import.def)
add_custom_command(
  OUTPUT ${ZA32_LINK_DEF} ${ZA32_IMPORT_DEF}
  COMMAND ${CMAKE_COMMAND} -DDEF=${ZA32_DEF} -DLINK_DEF=${ZA32_LINK_DEF}
          -DIMPORT_DEF=${ZA32_IMPORT_DEF} -P ${CMAKE_SOURCE_DIR}/cmake/za32_exports.cmake
  DEPENDS ${ZA32_DEF} ${CMAKE_SOURCE_DIR}/cmake/za32_exports.cmake
  COMMENT "Export table of ZA32.DLL"
  VERBATIM)
add_custom_target(za32_export_table DEPENDS ${ZA32_LINK_DEF} ${ZA32_IMPORT_DEF})

# A MODULE library: CMake makes no import library of its own for it (one made by the
# linker would carry the module name "ZA32.", which the loader cannot find).
add_library(za32_dll MODULE $<TARGET_OBJECTS:za32_engine_objects>)
add_dependencies(za32_dll za32_export_table)
set_target_properties(za32_dll PROPERTIES OUTPUT_NAME ZA32 PREFIX "" SUFFIX ".DLL"
                                          LINK_DEPENDS ${ZA32_LINK_DEF})
# Nothing but the table is exported.
target_link_options(za32_dll PRIVATE ${ZA32_WINDOWS_STATIC_RUNTIME} -Wl,--exclude-all-symbols
                   ${ZA32_LINK_DEF})
target_link_libraries(za32_dll PRIVATE user32 winmm msacm32 comdlg32 comctl32 ole32 dsound
                                       dxguid)

# The import library for hosts that link the module at build time: decorated names
# for the linker, undecorated names for the loader (dlltool -k), file name ZA32.DLL.
find_program(ZA32_DLLTOOL NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-dlltool
                                i686-w64-mingw32-dlltool REQUIRED)
set(ZA32_IMPORT_LIBRARY ${CMAKE_BINARY_DIR}/lib/libza32.dll.a)
add_custom_command(
  OUTPUT ${ZA32_IMPORT_LIBRARY}
  COMMAND ${ZA32_DLLTOOL} -k -d ${ZA32_IMPORT_DEF} -l ${ZA32_IMPORT_LIBRARY}
  DEPENDS ${ZA32_IMPORT_DEF}
  COMMENT "Import library of ZA32.DLL"
  VERBATIM)
add_custom_target(za32_import_library ALL DEPENDS ${ZA32_IMPORT_LIBRARY})
add_library(za32_import INTERFACE)
add_dependencies(za32_import za32_import_library)
target_link_libraries(za32_import INTERFACE ${ZA32_IMPORT_LIBRARY})

if(ZA32_TESTS)
  enable_testing()
  add_subdirectory(tests/win)
endif()
