# The layers of the library, each an OBJECT library over one folder of src/.
#
# A layer's headers are included as "folder/file.h". So that a layer sees
# only the layers it links, each one gets an include root of its own in the
# build tree holding nothing but a link to its folder: a target that links
# qorvel_kx (and so, through it, modmain, platform and base) can include
# "modmain/mod_main.h", while "automation/..." is not on its include path and
# fails to compile. The library `qorvel` is all the layers' objects with only
# include/ public; tests, tools and benchmarks reach the internals through
# qorvel_internal.

# qorvel_include_root(<var> <folder> <source dir>): sets <var> to an include
# root in the build tree that holds only a link named <folder> to <source
# dir>, so that "folder/file.h" is found there and nothing else is.
function(qorvel_include_root var folder source_dir)
  set(root "${PROJECT_BINARY_DIR}/layers/${folder}")
  file(MAKE_DIRECTORY "${root}")
  if(NOT EXISTS "${root}/${folder}")
    # A copy would go stale; where links cannot be made, the source tree's
    # own parent folder is the only sound root.
    file(CREATE_LINK "${source_dir}" "${root}/${folder}" SYMBOLIC RESULT link_result)
    if(NOT link_result EQUAL 0)
      message(WARNING "cannot link ${root}/${folder}: layers are not enforced in this build")
      get_filename_component(root "${source_dir}" DIRECTORY)
    endif()
  endif()
  set(${var} "${root}" PARENT_SCOPE)
endfunction()

# qorvel_layer(<target> <folder>): an OBJECT library for src/<folder>, with
# its include root.
function(qorvel_layer target folder)
  qorvel_include_root(root ${folder} "${PROJECT_SOURCE_DIR}/src/${folder}")
  add_library(${target} OBJECT)
  target_include_directories(${target} PUBLIC "${root}")
  set_property(GLOBAL APPEND PROPERTY QORVEL_LAYERS ${target})
  set_property(GLOBAL APPEND PROPERTY QORVEL_LAYER_ROOTS "${root}")
endfunction()
