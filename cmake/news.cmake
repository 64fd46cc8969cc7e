# Makes the release notes of NEWS.md into the package's changelog (the
# native Debian format, gzipped reproducibly) and the AppStream metadata
# (its template with a <releases> list). Run at build time:
#
#   cmake -DNEWS=NEWS.md -DVERSION=0.2.0 -DPACKAGE=skinpreview
#         -DMAINTAINER="Name <address>" -DMETAINFO_IN=x.metainfo.xml.in
#         -DMETAINFO_OUT=x.metainfo.xml -DCHANGELOG_OUT=changelog
#         -DDATE_OUT=release-date -P news.cmake
#
# writes METAINFO_OUT, CHANGELOG_OUT.gz and DATE_OUT, the newest release's
# time in seconds since 1970 (the SOURCE_DATE_EPOCH of the manual pages).
#
# NEWS.md holds releases as "## VERSION (YYYY-MM-DD HH:MM)" headings, in UTC
# and newest first (the time may be left out; a changelog wants each entry
# later than the one before). Each is followed by a list of "- " items that
# may go on over lines indented by two spaces; text above the first heading
# is ignored. Backticks are dropped: both outputs are plain text.
cmake_minimum_required(VERSION 3.25)

function(two_digits number out)
  if(number LESS 10)
    set(number "0${number}")
  endif()
  set(${out} ${number} PARENT_SCOPE)
endfunction()

# RFC 2822 date, as a changelog's trailer line wants it.
function(rfc2822_date year month day hour minute out)
  set(month_names Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  set(day_names Sun Mon Tue Wed Thu Fri Sat)
  # Sakamoto's day of the week.
  set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  math(EXPR m0 "${month} - 1")
  list(GET offsets ${m0} offset)
  set(y ${year})
  if(month LESS 3)
    math(EXPR y "${y} - 1")
  endif()
  math(EXPR weekday "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${offset} + ${day}) % 7")
  list(GET day_names ${weekday} day_name)
  list(GET month_names ${m0} month_name)
  two_digits(${day} day)
  two_digits(${hour} hour)
  two_digits(${minute} minute)
  set(${out} "${day_name}, ${day} ${month_name} ${year} ${hour}:${minute}:00 +0000" PARENT_SCOPE)
endfunction()

# Seconds since 1970 (days_from_civil, for years from 1970 on).
function(epoch_of year month day hour minute out)
  if(month LESS 3)
    math(EXPR year "${year} - 1")
    math(EXPR month "${month} + 9")
  else()
    math(EXPR month "${month} - 3")
  endif()
  math(EXPR era "${year} / 400")
  math(EXPR yoe "${year} - ${era} * 400")
  math(EXPR doy "(153 * ${month} + 2) / 5 + ${day} - 1")
  math(EXPR doe "${yoe} * 365 + ${yoe} / 4 - ${yoe} / 100 + ${doy}")
  math(EXPR seconds "(${era} * 146097 + ${doe} - 719468) * 86400 + ${hour} * 3600 + ${minute} * 60")
  set(${out} ${seconds} PARENT_SCOPE)
endfunction()

function(xml_escape text out)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(changelog "")
set(releases "")
set(newest "")
set(release "")   # the release being read
set(item "")      # the item being read, its lines joined
set(item_open OFF)

# Ends the item being read. The changelog has taken its lines as written
# (so that they stay within 80 columns); AppStream gets one <li>.
macro(close_item)
  if(item_open)
    xml_escape("${item}" escaped)
    string(APPEND releases "          <li>${escaped}</li>\n")
    set(item "")
    set(item_open OFF)
  endif()
endmacro()

macro(close_release)
  close_item()
  if(NOT release STREQUAL "")
    string(APPEND changelog "\n -- ${MAINTAINER}  ${release_date}\n")
    string(APPEND releases "        </ul>\n      </description>\n    </release>\n")
  endif()
endmacro()

set(digit "[0-9]")
set(heading "^## (${digit}+\\.${digit}+\\.${digit}+) \\((${digit}${digit}${digit}${digit})-(${digit}${digit})-(${digit}${digit})( (${digit}${digit}):(${digit}${digit}))?\\)$")

file(READ "${NEWS}" text)
string(REPLACE "`" "" text "${text}")
set(number 0)
while(NOT text STREQUAL "")
  # One line at a time, without lists: a line may hold semicolons.
  string(FIND "${text}" "\n" end)
  if(end EQUAL -1)
    set(line "${text}")
    set(text "")
  else()
    string(SUBSTRING "${text}" 0 ${end} line)
    math(EXPR next "${end} + 1")
    string(SUBSTRING "${text}" ${next} -1 text)
  endif()
  math(EXPR number "${number} + 1")
  string(REGEX REPLACE "[ \t\r]+$" "" line "${line}")

  if(line MATCHES "${heading}")
    close_release()
    set(release ${CMAKE_MATCH_1})
    set(iso_date "${CMAKE_MATCH_2}-${CMAKE_MATCH_3}-${CMAKE_MATCH_4}")
    # Year, month, day, hour, minute as plain numbers (08 is no octal
    # number here).
    set(moment ${CMAKE_MATCH_2} ${CMAKE_MATCH_3} ${CMAKE_MATCH_4} 0 0)
    if(NOT "${CMAKE_MATCH_5}" STREQUAL "")
      set(moment ${CMAKE_MATCH_2} ${CMAKE_MATCH_3} ${CMAKE_MATCH_4} ${CMAKE_MATCH_6} ${CMAKE_MATCH_7})
    endif()
    list(TRANSFORM moment REPLACE "^0(.)" "\\1")
    rfc2822_date(${moment} release_date)
    if(newest STREQUAL "")
      set(newest ${release})
      epoch_of(${moment} newest_epoch)
    else()
      string(APPEND changelog "\n")
    endif()
    string(APPEND changelog "${PACKAGE} (${release}) unstable; urgency=medium\n\n")
    string(APPEND releases "    <release version=\"${release}\" date=\"${iso_date}\">\n"
                           "      <description>\n        <ul>\n")
  elseif(release STREQUAL "")
    # The introduction above the first release.
  elseif(line MATCHES "^- (.+)$")
    close_item()
    set(item "${CMAKE_MATCH_1}")
    set(item_open ON)
    string(APPEND changelog "  * ${CMAKE_MATCH_1}\n")
  elseif(item_open AND line MATCHES "^  ([^ ].*)$")
    string(APPEND item " ${CMAKE_MATCH_1}")
    string(APPEND changelog "    ${CMAKE_MATCH_1}\n")
  elseif(line STREQUAL "")
    close_item()
  else()
    message(FATAL_ERROR "${NEWS}:${number}: not a release heading, a list item or its continuation: ${line}")
  endif()
endwhile()
close_release()

if(NOT newest STREQUAL VERSION)
  message(FATAL_ERROR "${NEWS}: the newest release is '${newest}', but the project's version is ${VERSION}")
endif()

set(RELEASES "${releases}")
configure_file("${METAINFO_IN}" "${METAINFO_OUT}" @ONLY)

file(WRITE "${DATE_OUT}" "${newest_epoch}\n")
file(WRITE "${CHANGELOG_OUT}" "${changelog}")
# -n: no name or time stamp in the gzip header, so the same notes give the
# same bytes.
execute_process(COMMAND gzip -9nf "${CHANGELOG_OUT}" COMMAND_ERROR_IS_FATAL ANY)
