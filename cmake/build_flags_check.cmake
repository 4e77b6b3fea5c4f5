# SPDX-License-Identifier: LGPL-2.1-or-later
# velmora_check_build_flags(<directory>): stops the configuration when a target compiled
# under the directory does not link velmora_build_flags (warnings as errors, large-file
# support, sanitizers): a target built without _FILE_OFFSET_BITS=64 fails stat() on a
# 32-bit system wherever inode numbers or sizes do not fit 32 bits.
function(velmora_check_build_flags dir)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(EXECUTABLE|SHARED_LIBRARY|STATIC_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      get_target_property(libraries ${target} LINK_LIBRARIES)
      if(NOT "velmora_build_flags" IN_LIST libraries)
        message(FATAL_ERROR "${target} (in ${dir}) does not link velmora_build_flags; add "
                            "target_link_libraries(${target} PRIVATE velmora_build_flags)")
      endif()
    endif()
  endforeach()
  get_property(subdirectories DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(subdirectory IN LISTS subdirectories)
    velmora_check_build_flags("${subdirectory}")
  endforeach()
endfunction()
