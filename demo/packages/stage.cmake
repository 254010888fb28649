# SPDX-License-Identifier: Apache-2.0
# Assembles the demo's installable package folders under OUT from the package
# sources here and the built programs, so no binary is kept in the source tree.
#   SRC       this folder              OUT      where the packages go
#   LAUNCHER  the built launcher       RUNTIME  the sample layer runtime
#   STORE     the store stand-in       PICTURE  the form picture
foreach(var SRC OUT LAUNCHER RUNTIME STORE PICTURE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "stage.cmake: ${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})

# The host app: the launcher is its main executable.
file(COPY ${SRC}/org.example.hello DESTINATION ${OUT})
file(COPY ${LAUNCHER} DESTINATION ${OUT}/org.example.hello/bin)
file(COPY ${PICTURE} DESTINATION ${OUT}/org.example.hello/res/screen-density-high)

# The compatibility layer, old and current; both carry the runtime.
foreach(version 2.0.5 2.2.0)
  file(COPY ${SRC}/QOR111TBNX-${version} DESTINATION ${OUT})
  file(COPY ${RUNTIME} DESTINATION ${OUT}/QOR111TBNX-${version}/shared/res)
endforeach()

# The store, offering the current layer as its one product.
file(COPY ${SRC}/org.tizen.tizenstore DESTINATION ${OUT})
file(COPY ${STORE} DESTINATION ${OUT}/org.tizen.tizenstore/bin)
file(COPY ${OUT}/QOR111TBNX-2.2.0/ DESTINATION ${OUT}/org.tizen.tizenstore/res/products/QOR111TBNX)

file(TOUCH ${OUT}/.staged)
