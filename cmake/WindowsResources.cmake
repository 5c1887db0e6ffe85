# What the resource scripts of the Windows programs share: the version numbers, the icon, and the
# two version strings zelfin-pack fill rewrites in place. Those are padded with blanks to the
# longest text fill writes (a 63-character title, a 15-character revision and its NUL), so the
# file never has to grow.
set(ZELFIN_RC_VERSION "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
set(ZELFIN_RC_ICON ${PROJECT_SOURCE_DIR}/frontends/win32/res/zelfin.ico)

function(zelfin_rc_padded out text width)
  string(LENGTH "${text}" length)
  math(EXPR blanks "${width} - ${length}")
  string(REPEAT " " ${blanks} padding)
  set(${out} "${text}${padding}" PARENT_SCOPE)
endfunction()
zelfin_rc_padded(ZELFIN_RC_DESCRIPTION_ROOM "Zelfin firmware update" 63)
zelfin_rc_padded(ZELFIN_RC_PRODUCT_VERSION_ROOM "${PROJECT_VERSION}" 15)
