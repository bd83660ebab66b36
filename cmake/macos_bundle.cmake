# Joins the two architectures' modules into universal files and lays out the
# three macOS bundles:
#   cmake -DLIPO=<llvm-lipo> -DARM64=<build> -DX86_64=<build> -DMODULEINFO=<json>
#         -DVERSION=<x.y.z> -DOUT=<folder> -P macos_bundle.cmake
# OUT gets multichannel_patcher.vst3, .clap and .vst. Files are copied, not
# stamped: the same modules make the same bundles.
foreach(var LIPO ARM64 X86_64 MODULEINFO VERSION OUT)
  if(NOT ${var})
    message(FATAL_ERROR "macos_bundle.cmake needs -D${var}=...")
  endif()
endforeach()

set(name multichannel_patcher)
# bundle extension, module in each build folder, what the bundle id ends with
set(formats "vst3:${name}.vst3:vst3" "clap:${name}.clap:clap" "vst:${name}.so:vst")

foreach(format IN LISTS formats)
  string(REPLACE ":" ";" format "${format}")
  list(GET format 0 extension)
  list(GET format 1 module)
  list(GET format 2 id)
  set(bundle ${OUT}/${name}.${extension})
  file(REMOVE_RECURSE ${bundle})
  file(MAKE_DIRECTORY ${bundle}/Contents/MacOS)
  execute_process(COMMAND ${LIPO} -create ${ARM64}/${module} ${X86_64}/${module}
    -output ${bundle}/Contents/MacOS/${name} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${LIPO} could not join ${ARM64}/${module} and ${X86_64}/${module}")
  endif()
  file(WRITE ${bundle}/Contents/PkgInfo "BNDL????")
  file(WRITE ${bundle}/Contents/Info.plist "<?xml version=\"1.0\" encoding=\"UTF-8\"?>
<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">
<plist version=\"1.0\">
<dict>
	<key>CFBundleDevelopmentRegion</key>
	<string>English</string>
	<key>CFBundleExecutable</key>
	<string>${name}</string>
	<key>CFBundleIdentifier</key>
	<string>com.brindlefox.multichannel-patcher.${id}</string>
	<key>CFBundleInfoDictionaryVersion</key>
	<string>6.0</string>
	<key>CFBundleName</key>
	<string>${name}</string>
	<key>CFBundlePackageType</key>
	<string>BNDL</string>
	<key>CFBundleShortVersionString</key>
	<string>${VERSION}</string>
	<key>CFBundleSignature</key>
	<string>????</string>
	<key>CFBundleSupportedPlatforms</key>
	<array>
		<string>MacOSX</string>
	</array>
	<key>CFBundleVersion</key>
	<string>${VERSION}</string>
	<key>LSMinimumSystemVersion</key>
	<string>11.0</string>
	<key>NSHumanReadableCopyright</key>
	<string>Copyright (c) 2026 the multichannel_patcher authors, MIT License</string>
</dict>
</plist>
")
endforeach()
file(MAKE_DIRECTORY ${OUT}/${name}.vst3/Contents/Resources)
file(COPY_FILE ${MODULEINFO} ${OUT}/${name}.vst3/Contents/Resources/moduleinfo.json)
