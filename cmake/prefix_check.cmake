# SPDX-License-Identifier: LGPL-2.1-or-later
# Install-time check: the programs, the D-Bus service file, the .pc files, the
# RUNPATHs and velmora-demo hold the full paths of the prefix configured at build
# time. Installing under another prefix (cmake --install --prefix) moves the files
# but not those paths, so say so plainly instead of leaving a tree that looks in
# the wrong places. DESTDIR staging keeps the prefix and passes silently.
if(DEFINED VELMORA_CONFIGURED_PREFIX AND NOT CMAKE_INSTALL_PREFIX STREQUAL VELMORA_CONFIGURED_PREFIX)
  message(WARNING
    "Velmora was configured for the prefix ${VELMORA_CONFIGURED_PREFIX} but is being "
    "installed into ${CMAKE_INSTALL_PREFIX}.\n"
    "The programs, the D-Bus service file, the .pc files and the library search paths "
    "still name ${VELMORA_CONFIGURED_PREFIX}, so the installed tree will look for its "
    "data, plug-ins and libraries there. Configure again with "
    "-DCMAKE_INSTALL_PREFIX=${CMAKE_INSTALL_PREFIX} before installing.")
endif()
