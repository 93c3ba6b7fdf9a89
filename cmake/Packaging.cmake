# The Debian package (scripts/package runs cpack): tarvex_VERSION_ARCH.deb with everything the
# install rules put under /usr, its library dependencies computed by dpkg-shlibdeps.
include(GNUInstallDirs)

set(TARVEX_PACKAGE_MAINTAINER "Brennwerks <tarvex@brennwerks.example>" CACHE STRING
    "Maintainer named in the Debian package")

# The package's copyright and changelog, as Debian keeps them for every package.
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/tarvex)
install(FILES ${PROJECT_SOURCE_DIR}/data/copyright DESTINATION ${doc_dir})
# The release date as the changelog writes it, "Wed, 09 Dec 2026 00:00:00 +0000".
string(REGEX MATCH "^([0-9]+)-([0-9]+)-([0-9]+)$" date_ok "${TARVEX_RELEASE_DATE}")
if(NOT date_ok)
  message(FATAL_ERROR "TARVEX_RELEASE_DATE is not YYYY-MM-DD: ${TARVEX_RELEASE_DATE}")
endif()
math(EXPR year "${CMAKE_MATCH_1}")
math(EXPR month "1${CMAKE_MATCH_2} - 100")
math(EXPR day "1${CMAKE_MATCH_3} - 100")
# Zeller's congruence: 0 is Saturday.
set(y ${year})
set(m ${month})
if(m LESS 3)
  math(EXPR m "${m} + 12")
  math(EXPR y "${y} - 1")
endif()
math(EXPR weekday "(${day} + (13 * (${m} + 1)) / 5 + ${y} + ${y} / 4 - ${y} / 100 + ${y} / 400) % 7")
set(weekdays Sat Sun Mon Tue Wed Thu Fri)
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
math(EXPR month_index "${month} - 1")
list(GET weekdays ${weekday} weekday_name)
list(GET months ${month_index} month_name)
set(TARVEX_RELEASE_CHANGELOG_DATE "${weekday_name}, ${CMAKE_MATCH_3} ${month_name} ${year} 00:00:00 +0000")
set(changelog ${CMAKE_BINARY_DIR}/packaging/changelog)
configure_file(${PROJECT_SOURCE_DIR}/data/changelog.in ${changelog} @ONLY)
add_custom_command(OUTPUT ${changelog}.gz
  COMMAND gzip -9nkf ${changelog}
  DEPENDS ${changelog}
  COMMENT "Compressing the package changelog")
add_custom_target(tarvex_changelog ALL DEPENDS ${changelog}.gz)
tarvex_install_needs(${changelog}.gz tarvex_changelog)
install(FILES ${changelog}.gz DESTINATION ${doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Brennwerks)
set(CPACK_PACKAGE_CONTACT ${TARVEX_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tracker music module player")
set(CPACK_PACKAGE_DESCRIPTION
    "Tarvex plays tracker music modules in real time through its own software mixer:\n"
    "MOD files of the ProTracker family (31- and 15-sample files, NST, WOW),\n"
    "ScreamTracker 2 STM, ScreamTracker 3 S3M, FastTracker 2 XM and Impulse\n"
    "Tracker IT, and lists of them. It comes as\n"
    "a Qt window (tarvex), which the desktop's media keys control, and a\n"
    "command-line player and WAV renderer (tarvex-cli). Playback is bit-exact\n"
    "integer arithmetic: the same file and settings give the same sound on every\n"
    "machine.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TARVEX_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${TARVEX_HOMEPAGE_URL})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The menu, the file types and the icon caches are refreshed by the desktop's own triggers.
include(CPack)
