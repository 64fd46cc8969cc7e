# Documents made at build time: the manual pages, and from NEWS.md the
# package's changelog and the AppStream metadata with its release list.
# install.cmake installs them.

# Every docs/man/NAME.1.scd becomes NAME.1.gz: scdoc turns it into roff, and
# gzip -n leaves out the time stamp. The page's date is the newest release's,
# so that the same sources give the same bytes.
find_program(SCDOC scdoc REQUIRED)
file(GLOB man_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/*.1.scd)
set(release_date ${PROJECT_BINARY_DIR}/release-date)
set(SKINPREVIEW_MAN_PAGES "")
foreach(source IN LISTS man_sources)
  get_filename_component(page ${source} NAME_WLE)
  set(roff ${PROJECT_BINARY_DIR}/man/${page})
  add_custom_command(OUTPUT ${roff}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND sh -c "SOURCE_DATE_EPOCH=$(cat \"$3\") \"$0\" < \"$1\" > \"$2\"" ${SCDOC} ${source} ${roff} ${release_date}
    COMMAND gzip -9nf ${roff}
    DEPENDS ${source} ${release_date}
    COMMENT "Manual page ${page}"
    VERBATIM)
  list(APPEND SKINPREVIEW_MAN_PAGES ${roff}.gz)
endforeach()
add_custom_target(man_pages ALL DEPENDS ${SKINPREVIEW_MAN_PAGES})

set(SKINPREVIEW_METAINFO ${PROJECT_BINARY_DIR}/${SKINPREVIEW_APP_ID}.metainfo.xml)
set(SKINPREVIEW_CHANGELOG ${PROJECT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${SKINPREVIEW_METAINFO} ${SKINPREVIEW_CHANGELOG} ${release_date}
  COMMAND ${CMAKE_COMMAND}
          -DNEWS=${PROJECT_SOURCE_DIR}/NEWS.md
          -DVERSION=${PROJECT_VERSION}
          -DPACKAGE=${PROJECT_NAME}
          -DMAINTAINER=${SKINPREVIEW_MAINTAINER}
          -DMETAINFO_IN=${PROJECT_SOURCE_DIR}/packaging/${SKINPREVIEW_APP_ID}.metainfo.xml.in
          -DMETAINFO_OUT=${SKINPREVIEW_METAINFO}
          -DCHANGELOG_OUT=${PROJECT_BINARY_DIR}/changelog
          -DDATE_OUT=${release_date}
          -P ${PROJECT_SOURCE_DIR}/cmake/news.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/NEWS.md
          ${PROJECT_SOURCE_DIR}/packaging/${SKINPREVIEW_APP_ID}.metainfo.xml.in
          ${PROJECT_SOURCE_DIR}/cmake/news.cmake
  COMMENT "Release notes from NEWS.md"
  VERBATIM)
add_custom_target(release_notes ALL DEPENDS ${SKINPREVIEW_METAINFO} ${SKINPREVIEW_CHANGELOG})
