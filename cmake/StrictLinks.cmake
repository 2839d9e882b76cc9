# A library named in target_link_libraries must be a target of the build (or an imported one):
# a mistyped name stops the configure step instead of turning into a "-l" that fails to link
# or, worse, links something else.
set(CMAKE_LINK_LIBRARIES_ONLY_TARGETS ON)
