# TEMPORARY (delete when the Windows platform adapters are in the tree):
# the library's layers for Windows with a stand-in for src/platform/windows/
# (the POSIX locale table and an environment without boxes or database), so
# that the server can be built and tested before those adapters exist.
add_subdirectory(src/base)
qorvel_layer(qorvel_platform platform)
target_sources(qorvel_platform PRIVATE
  src/platform/host_settings.cc
  src/platform/locale.cc
  src/platform/variant_conversion.cc
  src/platform/posix/environment_locale.cc
  src/platform/posix/locale_table.cc
  src/platform/posix/table_locale.cc
  src/server/TEMPORARY_env_stub.cc
)
target_link_libraries(qorvel_platform PUBLIC qorvel_base Threads::Threads)
target_include_directories(qorvel_platform PRIVATE src/server/TEMPORARY_iconv)
# mingw declares localtime_r only on request.
target_compile_definitions(qorvel_platform PRIVATE _POSIX_THREAD_SAFE_FUNCTIONS)
add_subdirectory(src/modmain)
add_subdirectory(src/kx)
add_subdirectory(src/automation)

get_property(layers GLOBAL PROPERTY QORVEL_LAYERS)
add_library(qorvel STATIC)
foreach(layer IN LISTS layers)
  target_sources(qorvel PRIVATE $<TARGET_OBJECTS:${layer}>)
endforeach()
target_include_directories(qorvel PUBLIC ${PROJECT_SOURCE_DIR}/include)
target_link_libraries(qorvel PRIVATE Threads::Threads)
get_property(roots GLOBAL PROPERTY QORVEL_LAYER_ROOTS)
add_library(qorvel_internal INTERFACE)
target_link_libraries(qorvel_internal INTERFACE qorvel)
target_include_directories(qorvel_internal INTERFACE ${roots})
