# Run by CPack on the staged tree of the Debian package, before it is packed: strips the
# programs, adds the copyright file (a notice, then LICENSE) and the compressed
# changelog, and compresses the manual pages, as Debian wants them; `cmake --install`
# leaves them plain and without these.
set(usr "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
if(NOT IS_DIRECTORY "${usr}/bin")
  message(FATAL_ERROR "No staged tree at ${usr}")
endif()
find_program(GZIP gzip REQUIRED)

# As Debian strips its own packages: symbols, and the compiler's notes, go.
file(GLOB programs "${usr}/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND "${CPACK_QUORVEL_STRIP}" --remove-section=.comment --remove-section=.note "${program}"
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()

set(doc "${usr}/share/doc/${CPACK_PACKAGE_NAME}")
file(MAKE_DIRECTORY "${doc}")
file(READ "${CPACK_QUORVEL_LICENSE}" license)
# Debian wants a notice with the year in it; LICENSE need not carry one.
file(WRITE "${doc}/copyright"
     "Quorvel\n\nCopyright ${CPACK_QUORVEL_RELEASE_YEAR} The Quorvel developers\n\n${license}")
file(COPY_FILE "${CPACK_QUORVEL_CHANGELOG}" "${doc}/changelog")

file(GLOB pages "${usr}/share/man/man1/*.1")
foreach(file IN LISTS pages ITEMS "${doc}/changelog")
  # -n: no name or time stamp inside, so the same tree packs to the same bytes.
  execute_process(COMMAND "${GZIP}" -9nf "${file}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
file(CHMOD_RECURSE "${usr}/share" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
     DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
