# The Debian package: `cpack -G DEB` in a build folder (scripts/build-deb.sh
# makes a release build and runs it). It holds exactly what `cmake --install`
# puts under /usr, plus the files that belong to a Debian package only
# (copyright, changelog, lintian overrides), which deb_prebuild.cmake adds.

# The package's summary and homepage are the metainfo's, so a software centre
# and apt describe the program alike.
set(metainfo "${CMAKE_CURRENT_SOURCE_DIR}/com.varnolt.Varnolt.metainfo.xml")
file(READ "${metainfo}" metainfo_text)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${metainfo}")
string(REGEX MATCH "<summary>([^<]*)</summary>" _ "${metainfo_text}")
set(varnolt_summary "${CMAKE_MATCH_1}")
string(REGEX MATCH "<url type=\"homepage\">([^<]*)</url>" _ "${metainfo_text}")
set(varnolt_homepage "${CMAKE_MATCH_1}")
# The changelog entry is dated with this version's release in the metainfo,
# not with the day the package happens to be built.
string(REGEX MATCH "<release version=\"${PROJECT_VERSION}\" date=\"([0-9]+)-([0-9]+)-([0-9]+)\""
    _ "${metainfo_text}")
if(NOT varnolt_summary OR NOT varnolt_homepage OR NOT CMAKE_MATCH_1)
    message(FATAL_ERROR "${metainfo} needs a summary, a homepage and a release entry "
        "for version ${PROJECT_VERSION}")
endif()
set(release_year "${CMAKE_MATCH_1}")
set(release_month "${CMAKE_MATCH_2}")
set(release_day "${CMAKE_MATCH_3}")

# A Debian changelog wants an RFC 2822 date with its weekday (Zeller's rule;
# January and February count as months 13 and 14 of the year before).
math(EXPR zm "${release_month}")
math(EXPR zy "${release_year}")
if(zm LESS 3)
    math(EXPR zm "${zm} + 12")
    math(EXPR zy "${zy} - 1")
endif()
math(EXPR zd "${release_day}")
math(EXPR weekday
    "(${zd} + (13 * (${zm} + 1)) / 5 + ${zy} % 100 + (${zy} % 100) / 4 + (${zy} / 100) / 4 + 5 * (${zy} / 100)) % 7")
set(weekdays Sat Sun Mon Tue Wed Thu Fri)
list(GET weekdays ${weekday} weekday_name)
math(EXPR month_index "${release_month} - 1")
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(GET months ${month_index} month_name)
set(VARNOLT_RELEASE_DATE_RFC2822
    "${weekday_name}, ${release_day} ${month_name} ${release_year} 00:00:00 +0000")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnolt)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Varnolt developers")
set(CPACK_PACKAGE_CONTACT "Varnolt developers <maintainers@varnolt.example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "${varnolt_homepage}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${varnolt_summary}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps derives Depends from the libraries the programs link (Qt 6,
# libstdc++, libc), with the versions this build needs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Each paragraph is one line here; apt wraps it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Varnolt rewrites text and HTML files from 51 legacy character encodings
(Windows and DOS code pages, ISO 8859, KOI8, Mac, EUC, Shift JIS, Big5,
GB18030, HZ, ISCII and others) into UTF-8 or UTF-16, in batches, and gives
every file a result (OK, warning or error) on screen and in a conversion log.
.
Converted text can replace the source after a backup, be written beside it
under a prefix, or go into an output folder. A profile holds the source
encoding and the output options, so the same conversion can be run again
from the window (varnolt) or the command line (xvarnolt, varnolt -u).")

set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_BINARY_DIR}/deb_prebuild.cmake")
find_program(VARNOLT_GZIP gzip)
configure_file(deb_prebuild.cmake.in deb_prebuild.cmake @ONLY)
configure_file(debian-changelog.in debian-changelog @ONLY)

include(CPack)
