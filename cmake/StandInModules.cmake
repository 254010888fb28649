# SPDX-License-Identifier: Apache-2.0
# Writes <build>/pkgconfig/<module>.pc for each platform module the device build asks
# for, named and required as on a device, all pointing at the stand-in: its headers in
# platform/include and its one library. The device-internal modules the application
# framework requires there have no stand-in; the library's own needs are the desktop's.
set(VORNIX_STANDIN_MODULES
    # name|description|Requires|Requires.private besides the library's own
    "capi-base-common|Base types and error codes||"
    "capi-appfw-application|Application framework|capi-base-common|"
    "capi-appfw-app-manager|Application manager|capi-base-common|"
    "capi-appfw-package-manager|Package manager|capi-base-common|"
    "bundle|Bundles|capi-base-common|"
    "dlog|Platform log||capi-base-common"
    "efl-extension|Toolkit extensions||")
foreach(module ${VORNIX_STANDIN_MODULES})
  string(REPLACE "|" ";" fields "${module}")
  list(GET fields 0 name)
  list(GET fields 1 description)
  list(GET fields 2 requires)
  list(GET fields 3 private)
  file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/pkgconfig/${name}.pc CONTENT "\
libdir=$<TARGET_FILE_DIR:vornix-platform>
includedir=${PROJECT_SOURCE_DIR}/platform/include

Name: ${name}
Description: ${description} (Vornix desktop stand-in)
Version: 1.0
Requires: ${requires}
Requires.private: ${private} elementary glib-2.0 libxml-2.0
Libs: -L\${libdir} -Wl,-rpath,\${libdir} -lvornix-platform
Cflags: -I\${includedir}
")
endforeach()
