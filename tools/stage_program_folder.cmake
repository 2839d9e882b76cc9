cmake_minimum_required(VERSION 3.23)
# Copies the shipped files (SRC, the dist folder) into the program folder (DST) and removes from
# it what an earlier run copied but dist no longer has; MANIFEST lists what was copied. Files
# the program folder holds of its own (the programs, logs, work folders) are never touched. The
# settings file is the user's once it is there: it is copied only when absent and never removed,
# so a rebuild never throws away options the user saved.
file(GLOB_RECURSE shipped RELATIVE ${SRC} ${SRC}/*)
foreach(rel ${shipped})
  set(target ${DST}/${rel})
  if(rel STREQUAL "varnel_client.ini" AND EXISTS ${target})
    continue()
  endif()
  get_filename_component(dir ${target} DIRECTORY)
  file(MAKE_DIRECTORY ${dir})
  file(COPY_FILE ${SRC}/${rel} ${target} ONLY_IF_DIFFERENT)
endforeach()

if(EXISTS ${MANIFEST})
  file(STRINGS ${MANIFEST} staged_before)
  foreach(rel ${staged_before})
    if(rel IN_LIST shipped OR rel STREQUAL "varnel_client.ini")
      continue()
    endif()
    file(REMOVE ${DST}/${rel})
    # A folder that only held shipped files goes with its last one.
    get_filename_component(dir ${DST}/${rel} DIRECTORY)
    while(NOT dir STREQUAL DST AND IS_DIRECTORY ${dir})
      file(GLOB left LIST_DIRECTORIES true "${dir}/*" "${dir}/.*")
      list(FILTER left EXCLUDE REGEX "/\\.\\.?$")
      if(left)
        break()
      endif()
      file(REMOVE_RECURSE ${dir})
      get_filename_component(dir ${dir} DIRECTORY)
    endwhile()
  endforeach()
endif()
list(JOIN shipped "\n" listed)
file(WRITE ${MANIFEST} "${listed}\n")

foreach(folder work send receive)
  file(MAKE_DIRECTORY ${DST}/${folder})
endforeach()
