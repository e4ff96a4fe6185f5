# Lays the build out as `cmake --install` does, in PREFIX, and makes the
# program's folder read-only as an installed one is.
if(EXISTS ${PREFIX})
    file(CHMOD_RECURSE ${PREFIX} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE)
    file(REMOVE_RECURSE ${PREFIX})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
    OUTPUT_QUIET RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "cmake --install failed")
endif()
file(CHMOD_RECURSE ${PREFIX} DIRECTORY_PERMISSIONS OWNER_READ OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
