# The roots a catalog's chain may end at and what each system verifies in a
# catalog's signature are reviewed data with a source per row; the build
# takes them in as they are, for pkgcheck and for the fuzz targets alike.
# Sets PKGCHECK_SIGNATURE_DATA_CPP to the generated source.
set(catalog_dir ${PROJECT_SOURCE_DIR}/pkgcheck/catalog)
file(READ ${catalog_dir}/TrustedRoots.tsv PKGCHECK_TRUSTED_ROOTS_TSV)
file(READ ${catalog_dir}/SignatureSystems.tsv PKGCHECK_SIGNATURE_SYSTEMS_TSV)
set(PKGCHECK_SIGNATURE_DATA_CPP ${CMAKE_CURRENT_BINARY_DIR}/SignatureData.cpp)
configure_file(${catalog_dir}/SignatureData.cpp.in ${PKGCHECK_SIGNATURE_DATA_CPP} @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${catalog_dir}/TrustedRoots.tsv ${catalog_dir}/SignatureSystems.tsv)
