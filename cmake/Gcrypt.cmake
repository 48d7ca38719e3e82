# libgcrypt, which pkgcheck's catalog signature check takes its hashes and
# RSA from: Debian's libgcrypt20-dev on the host, libgcrypt-mingw-w64-dev in
# the MinGW tree for pkgcheck.exe (linked statically, as the rest of it).
# Gives the imported target Gcrypt::Gcrypt.
if(TARGET Gcrypt::Gcrypt)
    return()
endif()
if(WIN32)
    set(gcrypt_names libgcrypt.a gcrypt)
    set(gpg_error_names libgpg-error.a gpg-error)
else()
    set(gcrypt_names gcrypt)
    set(gpg_error_names gpg-error)
endif()
find_path(GCRYPT_INCLUDE_DIR gcrypt.h)
find_library(GCRYPT_LIBRARY NAMES ${gcrypt_names})
find_library(GPG_ERROR_LIBRARY NAMES ${gpg_error_names})
if(NOT GCRYPT_INCLUDE_DIR OR NOT GCRYPT_LIBRARY OR NOT GPG_ERROR_LIBRARY)
    message(FATAL_ERROR "libgcrypt not found (header ${GCRYPT_INCLUDE_DIR}, library "
        "${GCRYPT_LIBRARY}, libgpg-error ${GPG_ERROR_LIBRARY}): scripts/setup-env.sh installs "
        "libgcrypt20-dev for the host and libgcrypt-mingw-w64-dev for the Windows builds")
endif()
add_library(Gcrypt::Gcrypt INTERFACE IMPORTED)
target_include_directories(Gcrypt::Gcrypt SYSTEM INTERFACE ${GCRYPT_INCLUDE_DIR})
target_link_libraries(Gcrypt::Gcrypt INTERFACE ${GCRYPT_LIBRARY} ${GPG_ERROR_LIBRARY})
if(WIN32)
    # What the static libraries import from Windows.
    target_link_libraries(Gcrypt::Gcrypt INTERFACE ws2_32 advapi32)
endif()
