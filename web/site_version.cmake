# Writes the service worker into the site with its version: etal's own and
# a hash of every other file of the site, so that any change to them makes a
# new version, which browsers then fetch whole. Run as
#   cmake -DSOURCE=sw.js -DOUTPUT=site/sw.js -DVERSION=x.y.z -DSITE=site -DFILES="a|b|c" -P site_version.cmake
string(REPLACE "|" ";" files "${FILES}")
set(hashes "")
set(listed "")
foreach(file ${files})
  file(SHA256 "${SITE}/${file}" hash)
  string(APPEND hashes "${hash}")
  list(APPEND listed "'${file}'")
endforeach()
string(SHA256 all "${hashes}")
string(SUBSTRING "${all}" 0 12 short)
list(JOIN listed ", " listed)
file(READ "${SOURCE}" text)
string(REPLACE "@ETAL_SITE_VERSION@" "${VERSION}-${short}" text "${text}")
string(REPLACE "@ETAL_SITE_FILES@" "${listed}" text "${text}")
file(WRITE "${OUTPUT}" "${text}")
