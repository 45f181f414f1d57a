# ov_werror_own_sources(): under OV_WERROR, a warning in the project's own
# sources is an error. Only the files listed in the tree's targets get
# -Werror: the moc/uic output that AUTOMOC and AUTOUIC add at generate time
# does not, and the generated headers and sources our files include are read
# from a system include folder, where the compiler does not warn. Third-party
# headers (Qt, GoogleTest, Google Benchmark, libpq) come in through imported
# targets as system includes already. Call once, after every add_subdirectory.

function(ov_collect_targets dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    ov_collect_targets(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

function(ov_werror_own_sources)
  if(NOT OV_WERROR)
    return()
  endif()
  ov_collect_targets(${PROJECT_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      continue()
    endif()
    get_target_property(sourceDir ${target} SOURCE_DIR)
    get_target_property(binaryDir ${target} BINARY_DIR)
    get_target_property(sources ${target} SOURCES)
    set(own)
    foreach(source IN LISTS sources)
      if(source MATCHES "^\\$<") # generator expressions: not a file of ours
        continue()
      endif()
      cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${sourceDir} NORMALIZE OUTPUT_VARIABLE file)
      cmake_path(IS_PREFIX PROJECT_BINARY_DIR ${file} NORMALIZE generated)
      if(NOT generated AND file MATCHES "\\.(c|cc|cpp|cxx)$")
        list(APPEND own ${file})
      endif()
    endforeach()
    if(own)
      set_property(SOURCE ${own} TARGET_DIRECTORY ${target} APPEND PROPERTY COMPILE_OPTIONS -Werror)
    endif()
    get_target_property(automoc ${target} AUTOMOC)
    get_target_property(autouic ${target} AUTOUIC)
    if(automoc OR autouic)
      target_include_directories(${target} SYSTEM PRIVATE ${binaryDir}/${target}_autogen/include)
    endif()
  endforeach()
endfunction()
